<?xml version="1.0" encoding="UTF-8"?>
<!--
  Delivery-date confirmation (納期確認書). The telephone answer side reads this
  document by position, so the order of the root's children is fixed and no
  white-space text may appear between them:
    0 Title, 1 RepManageNo, 2 PilotFAXNumber, 3 Customer-code, 4 Supplier-code,
    5 Customer-name-K, 6 Customer-section-name-K, 7 Supplier-name-K,
    8 JPTRMS: one JPTRM per line, child 0 RefNum (the line number printed on
    the form), then the line's fields as the message carried them.
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="xml" encoding="UTF-8" indent="no" omit-xml-declaration="yes"/>
  <xsl:strip-space elements="*"/>

  <xsl:template match="/">
    <xsl:apply-templates select="*"/>
  </xsl:template>

  <xsl:template match="/*">
    <xsl:variable name="first" select="JPTRM[1]"/>
    <JPTRMROOT>
      <Title>納期確認書</Title>
      <RepManageNo><xsl:value-of select="RepManageNo"/></RepManageNo>
      <PilotFAXNumber><xsl:value-of select="PilotFAXNumber"/></PilotFAXNumber>
      <Customer-code><xsl:value-of select="$first/Customer-code"/></Customer-code>
      <Supplier-code><xsl:value-of select="$first/Supplier-code"/></Supplier-code>
      <Customer-name-K><xsl:value-of select="($first//Customer-name-K)[1]"/></Customer-name-K>
      <Customer-section-name-K><xsl:value-of select="($first//Customer-section-name-K)[1]"/></Customer-section-name-K>
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
