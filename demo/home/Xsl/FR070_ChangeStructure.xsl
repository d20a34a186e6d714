<?xml version="1.0" encoding="UTF-8"?>
<!-- Order-balance list (注文残高一覧): one header, one line per open order. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="xml" encoding="UTF-8" indent="no" omit-xml-declaration="yes"/>
  <xsl:strip-space elements="*"/>

  <xsl:template match="/">
    <xsl:apply-templates select="*"/>
  </xsl:template>

  <xsl:template match="/*">
    <xsl:variable name="first" select="JPTRM[1]"/>
    <JPTRMROOT>
      <Title>注文残高一覧</Title>
      <RepManageNo><xsl:value-of select="RepManageNo"/></RepManageNo>
      <Customer-code><xsl:value-of select="($first//Customer-code)[1]"/></Customer-code>
      <Supplier-code><xsl:value-of select="($first//Supplier-code)[1]"/></Supplier-code>
      <Customer-name-K><xsl:value-of select="($first//Customer-name-K)[1]"/></Customer-name-K>
      <Supplier-name-K><xsl:value-of select="($first//Supplier-name-K)[1]"/></Supplier-name-K>
      <JPTRMS>
        <xsl:for-each select="JPTRM">
          <JPTRM>
            <xsl:copy-of select="@*"/>
            <RefNum><xsl:value-of select="position()"/></RefNum>
            <xsl:copy-of select="*"/>
          </JPTRM>
        </xsl:for-each>
      </JPTRMS>
    </JPTRMROOT>
  </xsl:template>
</xsl:stylesheet>
