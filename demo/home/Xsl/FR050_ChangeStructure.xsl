<?xml version="1.0" encoding="UTF-8"?>
<!--
  見積未回答一覧: the reminders of one customer and supplier, one line each, with
  the key of the unanswered document (RFQ-number) and the message data it refers to.
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="xml" encoding="UTF-8" indent="no" omit-xml-declaration="yes"/>
  <xsl:strip-space elements="*"/>

  <xsl:template match="/">
    <xsl:apply-templates select="*"/>
  </xsl:template>

  <xsl:template match="/*">
    <xsl:variable name="first" select="FAX-reminder[1]"/>
    <JPTRMROOT>
      <Title>見積未回答一覧</Title>
      <RepManageNo><xsl:value-of select="RepManageNo"/></RepManageNo>
      <Customer-code><xsl:value-of select="($first//KEY//Customer-code)[1]"/></Customer-code>
      <Supplier-code><xsl:value-of select="($first//KEY//Supplier-code)[1]"/></Supplier-code>
      <Customer-name-K><xsl:value-of select="($first//EDI-data//Customer-name-K)[1]"/></Customer-name-K>
      <Reminders>
        <xsl:for-each select="FAX-reminder">
          <Reminder>
            <RefNum><xsl:value-of select="position()"/></RefNum>
            <xsl:copy-of select="(.//KEY)[last()]/*[not(self::Customer-code or self::Supplier-code)]"/>
            <xsl:copy-of select="(.//EDI-data)[1]/*[not(self::Customer-code or self::Supplier-code or self::Customer-name-K)]"/>
          </Reminder>
        </xsl:for-each>
      </Reminders>
    </JPTRMROOT>
  </xsl:template>
</xsl:stylesheet>
