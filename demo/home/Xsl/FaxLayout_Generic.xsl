<?xml version="1.0" encoding="UTF-8"?>
<!--
  A stored fax document laid out again (the report types without a form of
  their own): its title, then every field of the document as a line of
  item and value, in document order.
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:include href="FaxLayout_Common.xsl"/>
  <xsl:output method="xml" encoding="UTF-8" indent="yes"/>

  <xsl:template match="/">
    <xsl:variable name="d" select="/FaxReport/Document/*"/>
    <xsl:variable name="title">
      <xsl:choose>
        <xsl:when test="string($d/Title)"><xsl:value-of select="$d/Title"/></xsl:when>
        <xsl:when test="string(/FaxReport/Record/RepType)"><xsl:value-of select="/FaxReport/Record/RepType"/></xsl:when>
        <xsl:otherwise>ＦＡＸ帳票</xsl:otherwise>
      </xsl:choose>
    </xsl:variable>
    <xsl:variable name="fields" select="$d//*[not(*) and normalize-space(.) != '' and not(self::Title)]"/>
    <Workbook>
      <xsl:call-template name="styles"/>
      <Sheet name="{$title}">
        <PageSetup orientation="portrait" leftMargin="12" rightMargin="12" topMargin="20" bottomMargin="12"/>
        <Columns defaultWidth="48">
          <Column index="1" width="30"/><Column index="2" width="190"/><Column index="3" width="350"/>
        </Columns>
        <Rows defaultHeight="20"><Row index="1" height="40"/><Row index="2" height="8"/></Rows>
        <Cells>
          <Cell ref="A1" style="title"><xsl:value-of select="$title"/></Cell><Cell ref="B1:C1" style="title"/>
          <xsl:call-template name="addressee"/>
          <Cell ref="A6:C6" style="head"/><Cell ref="A6">No.</Cell><Cell ref="B6">項目</Cell><Cell ref="C6">内容</Cell>
          <xsl:for-each select="$fields">
            <xsl:variable name="r" select="6 + position()"/>
            <Cell ref="A{$r}" style="num"><xsl:value-of select="position()"/></Cell>
            <Cell ref="B{$r}" style="item"><xsl:value-of select="local-name()"/></Cell>
            <Cell ref="C{$r}" style="item"><xsl:value-of select="."/></Cell>
          </xsl:for-each>
        </Cells>
        <Merges><Merge ref="A1:C1"/><Merge ref="A3:C3"/><Merge ref="A4:C4"/></Merges>
      </Sheet>
    </Workbook>
  </xsl:template>
</xsl:stylesheet>
