<?xml version="1.0" encoding="UTF-8"?>
<!-- Order sheet (注文書): one order per document, its fields and delivery rows kept. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="xml" encoding="UTF-8" indent="no" omit-xml-declaration="yes"/>
  <xsl:strip-space elements="*"/>

  <xsl:template match="/">
    <xsl:apply-templates select="*"/>
  </xsl:template>

  <xsl:template match="/*">
    <JPTRMROOT>
      <Title>注文書</Title>
      <RepManageNo><xsl:value-of select="RepManageNo"/></RepManageNo>
      <xsl:for-each select="JPTRM">
        <JPTRM>
          <xsl:copy-of select="@*"/>
          <xsl:copy-of select="*"/>
        </JPTRM>
      </xsl:for-each>
    </JPTRMROOT>
  </xsl:template>
</xsl:stylesheet>
