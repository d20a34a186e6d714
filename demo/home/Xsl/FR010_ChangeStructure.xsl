<?xml version="1.0" encoding="UTF-8"?>
<!--
  Quotation request (見積依頼書): one request per document. The quotation answer
  side follows the path JPTRMROOT / JPTRM / JPM001 / JPM001R, so the request
  keeps its own element names and delivery rows below JPTRMROOT.
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="xml" encoding="UTF-8" indent="no" omit-xml-declaration="yes"/>
  <xsl:strip-space elements="*"/>

  <xsl:template match="/">
    <xsl:apply-templates select="*"/>
  </xsl:template>

  <xsl:template match="/*">
    <JPTRMROOT>
      <Title>見積依頼書</Title>
      <RepManageNo><xsl:value-of select="RepManageNo"/></RepManageNo>
      <PilotFAXNumber><xsl:value-of select="PilotFAXNumber"/></PilotFAXNumber>
      <xsl:for-each select="JPTRM">
        <JPTRM>
          <xsl:copy-of select="@*"/>
          <xsl:copy-of select="*"/>
        </JPTRM>
      </xsl:for-each>
    </JPTRMROOT>
  </xsl:template>
</xsl:stylesheet>
