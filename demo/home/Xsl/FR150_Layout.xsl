<?xml version="1.0" encoding="UTF-8"?>
<!-- 未処理一覧: the faxes to this number whose answer is still open. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:include href="FaxLayout_Common.xsl"/>
  <xsl:output method="xml" encoding="UTF-8" indent="yes"/>

  <xsl:template match="/">
    <xsl:variable name="d" select="/FaxReport/Document/*"/>
    <Workbook>
      <xsl:call-template name="styles"/>
      <Sheet name="未処理一覧">
        <PageSetup orientation="portrait" leftMargin="12" rightMargin="12" topMargin="20" bottomMargin="12" titleRows="1:7" footer="&amp;P / &amp;N"/>
        <Columns defaultWidth="48">
          <Column index="1" width="30"/><Column index="2" width="125"/><Column index="3" width="110"/>
          <Column index="4" width="90"/><Column index="5" width="125"/><Column index="6" width="90"/>
        </Columns>
        <Rows defaultHeight="20"><Row index="1" height="40"/><Row index="2" height="8"/><Row index="7" height="24"/></Rows>
        <Cells>
          <Cell ref="A1" style="title">未　処　理　一　覧</Cell><Cell ref="B1:F1" style="title"/>
          <Cell ref="A3" style="to"><xsl:value-of select="$d/SendCompanyName"/>　御中</Cell>
          <Cell ref="A4" style="person"><xsl:value-of select="$d/SendPostName"/>　<xsl:value-of select="$d/SendChargeName"/>　様　（FAX <xsl:value-of select="$d/SendFAXNum"/>）</Cell>
          <Cell ref="A5" style="note">下記の帳票はまだ回答が確定しておりません（<xsl:value-of select="count($d/Items/Item)"/> 件）。</Cell>
          <Cell ref="A6" style="person">管理番号　<xsl:value-of select="$d/RepManageNo"/></Cell>
          <Cell ref="A7:F7" style="head"/>
          <Cell ref="A7">No.</Cell><Cell ref="B7">管理番号</Cell><Cell ref="C7">帳票</Cell><Cell ref="D7">送信日</Cell>
          <Cell ref="E7">発注者</Cell><Cell ref="F7">注文番号</Cell>
          <xsl:for-each select="$d/Items/Item">
            <xsl:variable name="r" select="7 + position()"/>
            <Cell ref="A{$r}" style="num"><xsl:value-of select="RefNum"/></Cell>
            <Cell ref="B{$r}" style="item"><xsl:value-of select="RepManageNo"/></Cell>
            <Cell ref="C{$r}" style="item"><xsl:value-of select="RepType"/></Cell>
            <Cell ref="D{$r}" style="mid"><xsl:call-template name="date"><xsl:with-param name="s" select="substring(SendDate, 1, 8)"/></xsl:call-template></Cell>
            <Cell ref="E{$r}" style="item"><xsl:value-of select="OrderName"/></Cell>
            <Cell ref="F{$r}" style="item"><xsl:value-of select="OrderNumber"/></Cell>
          </xsl:for-each>
        </Cells>
        <Merges>
          <Merge ref="A1:F1"/><Merge ref="A3:F3"/><Merge ref="A4:F4"/><Merge ref="A5:F5"/><Merge ref="A6:D6"/>
        </Merges>
      </Sheet>
    </Workbook>
  </xsl:template>
</xsl:stylesheet>
