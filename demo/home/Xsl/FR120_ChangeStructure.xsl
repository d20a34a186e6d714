<?xml version="1.0" encoding="UTF-8"?>
<!--
  Payables notice (買掛金計上通知): the header of the customer and supplier,
  then one JPTRMR per line key (credit, vendor, month, payment and payment
  conditions) with its lines and the sum of their amounts, then the sum of
  all lines.
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="xml" encoding="UTF-8" indent="no" omit-xml-declaration="yes"/>
  <xsl:strip-space elements="*"/>

  <xsl:template match="/">
    <xsl:apply-templates select="*"/>
  </xsl:template>

  <xsl:template match="/*">
    <xsl:variable name="first" select="(.//JPTRM)[1]"/>
    <JPTRMROOT>
      <Title>買掛金計上通知</Title>
      <RepManageNo><xsl:value-of select="RepManageNo"/></RepManageNo>
      <Customer-code><xsl:value-of select="($first//Customer-code)[1]"/></Customer-code>
      <Supplier-code><xsl:value-of select="($first//Supplier-code)[1]"/></Supplier-code>
      <Customer-name-K><xsl:value-of select="($first//Customer-name-K)[1]"/></Customer-name-K>
      <Supplier-name-K><xsl:value-of select="($first//Supplier-name-K)[1]"/></Supplier-name-K>
      <xsl:for-each select="JPTRMR">
        <xsl:variable name="line" select="JPTRM[1]"/>
        <JPTRMR>
          <xsl:copy-of select="($line//Credit-code)[1]"/>
          <xsl:copy-of select="($line//Vendor-code)[1]"/>
          <xsl:copy-of select="($line//Add-up-year-and-month)[1]"/>
          <xsl:copy-of select="($line//Payment-code)[1]"/>
          <xsl:copy-of select="($line//Payment-conditions-code)[1]"/>
          <xsl:for-each select="JPTRM">
            <JPTRM>
              <xsl:copy-of select="@*"/>
              <xsl:copy-of select="*"/>
            </JPTRM>
          </xsl:for-each>
          <Total-amount><xsl:value-of select="sum(JPTRM/Amount[number(.) = number(.)])"/></Total-amount>
        </JPTRMR>
      </xsl:for-each>
      <Grand-total-amount><xsl:value-of select="sum(JPTRMR/JPTRM/Amount[number(.) = number(.)])"/></Grand-total-amount>
    </JPTRMROOT>
  </xsl:template>
</xsl:stylesheet>
