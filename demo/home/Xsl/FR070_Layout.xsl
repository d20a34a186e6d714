<?xml version="1.0" encoding="UTF-8"?>
<!-- 注文残高一覧: the open orders of one customer. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:include href="FaxLayout_Common.xsl"/>
  <xsl:output method="xml" encoding="UTF-8" indent="yes"/>

  <xsl:template match="/">
    <xsl:variable name="d" select="/FaxReport/Document/*"/>
    <xsl:variable name="last" select="7 + count($d/JPTRMS/JPTRM)"/>
    <Workbook>
      <xsl:call-template name="styles"/>
      <Sheet name="注文残高一覧">
        <PageSetup orientation="landscape" leftMargin="12" rightMargin="12" topMargin="20" bottomMargin="12" titleRows="1:7" footer="&amp;P / &amp;N"/>
        <Columns defaultWidth="48">
          <Column index="1" width="34"/><Column index="2" width="95"/><Column index="3" width="36"/>
          <Column index="4" width="78"/><Column index="5" width="90"/><Column index="6" width="200"/>
          <Column index="7" width="62"/><Column index="8" width="62"/><Column index="9" width="40"/>
          <Column index="10" width="80"/>
        </Columns>
        <Rows defaultHeight="20"><Row index="1" height="40"/><Row index="2" height="8"/><Row index="7" height="24"/></Rows>
        <Cells>
          <Cell ref="A1" style="title">注　文　残　高　一　覧</Cell><Cell ref="B1:J1" style="title"/>
          <xsl:call-template name="addressee"/>
          <Cell ref="A5" style="note">発注者　<xsl:value-of select="$d/Customer-name-K"/>（<xsl:value-of select="$d/Customer-code"/>）の注文残高をお知らせします。</Cell>
          <Cell ref="H3" style="label">管理番号</Cell><Cell ref="I3" style="value"><xsl:value-of select="$d/RepManageNo"/></Cell><Cell ref="J3" style="value"/>
          <Cell ref="H4" style="label">件数</Cell><Cell ref="I4" style="value"><xsl:value-of select="count($d/JPTRMS/JPTRM)"/> 件</Cell><Cell ref="J4" style="value"/>
          <Cell ref="A7:J7" style="head"/>
          <Cell ref="A7">No.</Cell><Cell ref="B7">注文番号</Cell><Cell ref="C7">分納</Cell><Cell ref="D7">注文日</Cell><Cell ref="E7">品番</Cell>
          <Cell ref="F7">品名</Cell><Cell ref="G7">注文数量</Cell><Cell ref="H7">残数量</Cell><Cell ref="I7">単位</Cell><Cell ref="J7">納期</Cell>
          <xsl:for-each select="$d/JPTRMS/JPTRM">
            <xsl:variable name="r" select="7 + position()"/>
            <Cell ref="A{$r}" style="num"><xsl:value-of select="RefNum"/></Cell>
            <Cell ref="B{$r}" style="item"><xsl:value-of select="Order-number"/></Cell>
            <Cell ref="C{$r}" style="mid"><xsl:value-of select="Devide-delivery-number"/></Cell>
            <Cell ref="D{$r}" style="mid"><xsl:value-of select="Order-date"/></Cell>
            <Cell ref="E{$r}" style="item"><xsl:value-of select="Parts-number"/></Cell>
            <Cell ref="F{$r}" style="item"><xsl:value-of select="Parts-name-K"/></Cell>
            <Cell ref="G{$r}" style="num"><xsl:call-template name="number"><xsl:with-param name="s" select="Order-quantity"/></xsl:call-template></Cell>
            <Cell ref="H{$r}" style="num"><xsl:call-template name="number"><xsl:with-param name="s" select="Balance-quantity"/></xsl:call-template></Cell>
            <Cell ref="I{$r}" style="mid"><xsl:value-of select="Unit"/></Cell>
            <Cell ref="J{$r}" style="mid"><xsl:value-of select="Delivery-date"/></Cell>
          </xsl:for-each>
        </Cells>
        <Merges>
          <Merge ref="A1:J1"/><Merge ref="A3:F3"/><Merge ref="A4:F4"/><Merge ref="A5:F5"/><Merge ref="I3:J3"/><Merge ref="I4:J4"/>
        </Merges>
      </Sheet>
    </Workbook>
  </xsl:template>
</xsl:stylesheet>
