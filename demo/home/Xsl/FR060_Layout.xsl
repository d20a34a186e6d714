<?xml version="1.0" encoding="UTF-8"?>
<!-- 注文書: the order, one line per delivery, and its amount. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:include href="FaxLayout_Common.xsl"/>
  <xsl:output method="xml" encoding="UTF-8" indent="yes"/>

  <xsl:template match="/">
    <xsl:variable name="d" select="/FaxReport/Document/*"/>
    <xsl:variable name="o" select="$d/JPTRM[1]"/>
    <xsl:variable name="rows" select="$o/JPM001/JPM001R"/>
    <xsl:variable name="last" select="7 + count($rows)"/>
    <Workbook>
      <xsl:call-template name="styles"/>
      <Sheet name="注文書">
        <PageSetup orientation="landscape" leftMargin="12" rightMargin="12" topMargin="20" bottomMargin="12" titleRows="1:7" footer="&amp;P / &amp;N"/>
        <Columns defaultWidth="48">
          <Column index="1" width="34"/><Column index="2" width="90"/><Column index="3" width="220"/>
          <Column index="4" width="60"/><Column index="5" width="40"/><Column index="6" width="75"/>
          <Column index="7" width="90"/><Column index="8" width="85"/><Column index="9" width="120"/>
        </Columns>
        <Rows defaultHeight="20"><Row index="1" height="40"/><Row index="2" height="8"/><Row index="7" height="24"/></Rows>
        <Cells>
          <Cell ref="A1" style="title">注　文　書</Cell><Cell ref="B1:I1" style="title"/>
          <xsl:call-template name="addressee"/>
          <Cell ref="A5" style="note">下記のとおり注文いたします。<xsl:value-of select="$o/Customer-remarks-K"/></Cell>
          <Cell ref="F3" style="label">注文番号</Cell><Cell ref="G3" style="value"><xsl:value-of select="$o/Order-number"/>　<xsl:value-of select="$o/Correction-code"/></Cell><Cell ref="H3" style="value"/>
          <Cell ref="F4" style="label">注文日</Cell><Cell ref="G4" style="value"><xsl:value-of select="$o/Order-date"/></Cell><Cell ref="H4" style="value"/>
          <Cell ref="F5" style="label">管理番号</Cell><Cell ref="G5" style="value"><xsl:value-of select="$d/RepManageNo"/></Cell><Cell ref="H5" style="value"/>
          <Cell ref="I3" style="from"><xsl:value-of select="$o/Customer-name-K"/><xsl:text>&#10;</xsl:text><xsl:value-of select="$o/Customer-section-name-K"/><xsl:text>&#10;</xsl:text>担当 <xsl:value-of select="$o/Customer-buyer-name-K"/></Cell>
          <Cell ref="I4:I6" style="from"/>
          <Cell ref="A7:I7" style="head"/>
          <Cell ref="A7">分納</Cell><Cell ref="B7">品番</Cell><Cell ref="C7">品名</Cell><Cell ref="D7">数量</Cell><Cell ref="E7">単位</Cell>
          <Cell ref="F7">単価（円）</Cell><Cell ref="G7">金額（円）</Cell><Cell ref="H7">納期</Cell><Cell ref="I7">納入場所</Cell>
          <xsl:for-each select="$rows">
            <xsl:variable name="r" select="7 + position()"/>
            <Cell ref="A{$r}" style="mid"><xsl:value-of select="Devide-delivery-number"/></Cell>
            <Cell ref="B{$r}" style="item"><xsl:value-of select="$o/Parts-number"/></Cell>
            <Cell ref="C{$r}" style="item"><xsl:value-of select="$o/Parts-name-K"/></Cell>
            <Cell ref="D{$r}" style="num"><xsl:call-template name="number"><xsl:with-param name="s" select="Devide-delivery-quantity"/></xsl:call-template></Cell>
            <Cell ref="E{$r}" style="mid"><xsl:value-of select="$o/Unit"/></Cell>
            <Cell ref="F{$r}" style="num"><xsl:call-template name="number"><xsl:with-param name="s" select="$o/Unit-price"/></xsl:call-template></Cell>
            <Cell ref="G{$r}" style="num"><xsl:if test="string(number(Devide-delivery-quantity) * number($o/Unit-price)) != 'NaN'"><xsl:value-of select="format-number(number(Devide-delivery-quantity) * number($o/Unit-price), '#,##0')"/></xsl:if></Cell>
            <Cell ref="H{$r}" style="mid"><xsl:value-of select="Devide-delivery-date"/></Cell>
            <Cell ref="I{$r}" style="item"><xsl:value-of select="$o/Delivery-point-name-K"/></Cell>
          </xsl:for-each>
          <Cell ref="A{$last + 1}" style="sumlabel">合計金額（税抜）</Cell><Cell ref="B{$last + 1}:F{$last + 1}" style="sumlabel"/>
          <Cell ref="G{$last + 1}" style="sum"><xsl:call-template name="number"><xsl:with-param name="s" select="$o/Order-amount"/></xsl:call-template></Cell>
          <Cell ref="H{$last + 1}:I{$last + 1}" style="sum"/>
          <Cell ref="A{$last + 3}" style="foot">支払条件：<xsl:value-of select="$o/Payment-code"/>　<xsl:value-of select="$o/Payment-conditions-code"/>　　注文請けは電話で管理番号を入力してご確認ください。</Cell>
        </Cells>
        <Merges>
          <Merge ref="A1:I1"/><Merge ref="A3:E3"/><Merge ref="A4:E4"/><Merge ref="A5:E6"/>
          <Merge ref="G3:H3"/><Merge ref="G4:H4"/><Merge ref="G5:H5"/><Merge ref="I3:I6"/>
          <Merge ref="A{$last + 1}:F{$last + 1}"/><Merge ref="A{$last + 3}:I{$last + 3}"/>
        </Merges>
      </Sheet>
    </Workbook>
  </xsl:template>
</xsl:stylesheet>
