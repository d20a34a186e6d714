<?xml version="1.0" encoding="UTF-8"?>
<!-- 買掛金計上通知: one block per line key, its lines and its subtotal, then the total. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:include href="FaxLayout_Common.xsl"/>
  <xsl:output method="xml" encoding="UTF-8" indent="yes"/>

  <xsl:template match="/">
    <xsl:variable name="d" select="/FaxReport/Document/*"/>
    <xsl:variable name="last" select="7 + 2 * count($d/JPTRMR) + count($d/JPTRMR/JPTRM)"/>
    <Workbook>
      <xsl:call-template name="styles"/>
      <Sheet name="買掛金計上通知">
        <PageSetup orientation="landscape" leftMargin="12" rightMargin="12" topMargin="20" bottomMargin="12" titleRows="1:7" footer="&amp;P / &amp;N"/>
        <Columns defaultWidth="48">
          <Column index="1" width="34"/><Column index="2" width="95"/><Column index="3" width="90"/>
          <Column index="4" width="210"/><Column index="5" width="80"/><Column index="6" width="60"/>
          <Column index="7" width="40"/><Column index="8" width="80"/><Column index="9" width="100"/>
        </Columns>
        <Rows defaultHeight="20"><Row index="1" height="40"/><Row index="2" height="8"/><Row index="7" height="24"/></Rows>
        <Cells>
          <Cell ref="A1" style="title">買　掛　金　計　上　通　知</Cell><Cell ref="B1:I1" style="title"/>
          <xsl:call-template name="addressee"/>
          <Cell ref="A5" style="note">発注者　<xsl:value-of select="$d/Customer-name-K"/>（<xsl:value-of select="$d/Customer-code"/>）にて下記のとおり計上いたしました。</Cell>
          <Cell ref="G3" style="label">管理番号</Cell><Cell ref="H3" style="value"><xsl:value-of select="$d/RepManageNo"/></Cell><Cell ref="I3" style="value"/>
          <Cell ref="G4" style="label">計上年月</Cell><Cell ref="H4" style="value"><xsl:value-of select="$d/JPTRMR[1]/Add-up-year-and-month"/></Cell><Cell ref="I4" style="value"/>
          <Cell ref="A7:I7" style="head"/>
          <Cell ref="A7">No.</Cell><Cell ref="B7">注文番号</Cell><Cell ref="C7">品番</Cell><Cell ref="D7">品名</Cell><Cell ref="E7">検収日</Cell>
          <Cell ref="F7">数量</Cell><Cell ref="G7">単位</Cell><Cell ref="H7">単価（円）</Cell><Cell ref="I7">金額（円）</Cell>
          <xsl:for-each select="$d/JPTRMR">
            <xsl:variable name="top" select="8 + 2 * count(preceding-sibling::JPTRMR) + count(preceding-sibling::JPTRMR/JPTRM)"/>
            <Cell ref="A{$top}" style="group">計上区分：<xsl:value-of select="Credit-code"/>　仕入先：<xsl:value-of select="Vendor-code"/>　計上年月：<xsl:value-of select="Add-up-year-and-month"/>　支払方法：<xsl:value-of select="Payment-code"/>　支払条件：<xsl:value-of select="Payment-conditions-code"/></Cell>
            <Cell ref="B{$top}:I{$top}" style="group"/>
            <xsl:for-each select="JPTRM">
              <xsl:variable name="r" select="$top + position()"/>
              <Cell ref="A{$r}" style="num"><xsl:value-of select="position()"/></Cell>
              <Cell ref="B{$r}" style="item"><xsl:value-of select="Order-number"/></Cell>
              <Cell ref="C{$r}" style="item"><xsl:value-of select="Parts-number"/></Cell>
              <Cell ref="D{$r}" style="item"><xsl:value-of select="Parts-name-K"/></Cell>
              <Cell ref="E{$r}" style="mid"><xsl:value-of select="Acceptance-date"/></Cell>
              <Cell ref="F{$r}" style="num"><xsl:call-template name="number"><xsl:with-param name="s" select="Acceptance-quantity"/></xsl:call-template></Cell>
              <Cell ref="G{$r}" style="mid"><xsl:value-of select="Unit"/></Cell>
              <Cell ref="H{$r}" style="num"><xsl:call-template name="number"><xsl:with-param name="s" select="Unit-price"/></xsl:call-template></Cell>
              <Cell ref="I{$r}" style="num"><xsl:call-template name="number"><xsl:with-param name="s" select="Amount"/></xsl:call-template></Cell>
            </xsl:for-each>
            <xsl:variable name="sub" select="$top + count(JPTRM) + 1"/>
            <Cell ref="A{$sub}" style="sumlabel">小計</Cell><Cell ref="B{$sub}:H{$sub}" style="sumlabel"/>
            <Cell ref="I{$sub}" style="sum"><xsl:call-template name="number"><xsl:with-param name="s" select="Total-amount"/></xsl:call-template></Cell>
          </xsl:for-each>
          <Cell ref="A{$last + 1}" style="sumlabel">合計金額</Cell><Cell ref="B{$last + 1}:H{$last + 1}" style="sumlabel"/>
          <Cell ref="I{$last + 1}" style="sum"><xsl:call-template name="number"><xsl:with-param name="s" select="$d/Grand-total-amount"/></xsl:call-template></Cell>
        </Cells>
        <Merges>
          <Merge ref="A1:I1"/><Merge ref="A3:F3"/><Merge ref="A4:F4"/><Merge ref="A5:F5"/><Merge ref="H3:I3"/><Merge ref="H4:I4"/>
          <xsl:for-each select="$d/JPTRMR">
            <xsl:variable name="top" select="8 + 2 * count(preceding-sibling::JPTRMR) + count(preceding-sibling::JPTRMR/JPTRM)"/>
            <Merge ref="A{$top}:I{$top}"/>
            <Merge ref="A{$top + count(JPTRM) + 1}:H{$top + count(JPTRM) + 1}"/>
          </xsl:for-each>
          <Merge ref="A{$last + 1}:H{$last + 1}"/>
        </Merges>
      </Sheet>
    </Workbook>
  </xsl:template>
</xsl:stylesheet>
