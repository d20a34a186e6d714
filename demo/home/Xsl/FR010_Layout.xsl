<?xml version="1.0" encoding="UTF-8"?>
<!-- 見積依頼書: the request, its deliveries, and answer columns for the quotation. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:include href="FaxLayout_Common.xsl"/>
  <xsl:output method="xml" encoding="UTF-8" indent="yes"/>

  <xsl:template name="field">
    <xsl:param name="row"/><xsl:param name="label"/><xsl:param name="value"/>
    <Cell ref="A{$row}" style="head"><xsl:value-of select="$label"/></Cell><Cell ref="B{$row}" style="head"/>
    <Cell ref="C{$row}" style="item"><xsl:value-of select="$value"/></Cell><Cell ref="D{$row}:H{$row}" style="item"/>
  </xsl:template>

  <xsl:template match="/">
    <xsl:variable name="d" select="/FaxReport/Document/*"/>
    <xsl:variable name="q" select="$d/JPTRM[1]"/>
    <xsl:variable name="rows" select="$q/JPM001/JPM001R"/>
    <xsl:variable name="last" select="18 + count($rows)"/>
    <Workbook>
      <xsl:call-template name="styles"/>
      <Sheet name="見積依頼書">
        <PageSetup orientation="landscape" leftMargin="12" rightMargin="12" topMargin="20" bottomMargin="12" titleRows="1:6,17" footer="&amp;P / &amp;N"/>
        <Columns defaultWidth="48">
          <Column index="1" width="50"/><Column index="2" width="90"/><Column index="3" width="100"/>
          <Column index="4" width="110"/><Column index="5" width="100"/><Column index="6" width="110"/>
          <Column index="7" width="100"/><Column index="8" width="124"/>
        </Columns>
        <Rows defaultHeight="20"><Row index="1" height="40"/><Row index="2" height="8"/><Row index="15" height="36"/><Row index="17" height="30"/></Rows>
        <Cells>
          <Cell ref="A1" style="title">見　積　依　頼　書</Cell><Cell ref="B1:H1" style="title"/>
          <xsl:call-template name="addressee"/>
          <Cell ref="A5" style="note">下記のとおりお見積りをお願いいたします。見積書を FAX <xsl:value-of select="$d/PilotFAXNumber"/> へご返送ください。</Cell>
          <Cell ref="F3" style="label">管理番号</Cell><Cell ref="G3" style="value"><xsl:value-of select="$d/RepManageNo"/></Cell><Cell ref="H3" style="value"/>
          <Cell ref="F4" style="label">依頼日</Cell><Cell ref="G4" style="value"><xsl:value-of select="$q/RFQ-date"/></Cell><Cell ref="H4" style="value"/>
          <Cell ref="F5" style="label">回答期限</Cell><Cell ref="G5" style="value"><xsl:value-of select="$q/RFQ-reply-limit-date"/></Cell><Cell ref="H5" style="value"/>
          <xsl:call-template name="field"><xsl:with-param name="row" select="7"/><xsl:with-param name="label">見積依頼番号</xsl:with-param>
            <xsl:with-param name="value" select="concat($q/RFQ-number, '-', $q/RFQ-branch-number, '　', $q/Correction-code)"/></xsl:call-template>
          <xsl:call-template name="field"><xsl:with-param name="row" select="8"/><xsl:with-param name="label">品番</xsl:with-param><xsl:with-param name="value" select="$q/Parts-number"/></xsl:call-template>
          <xsl:call-template name="field"><xsl:with-param name="row" select="9"/><xsl:with-param name="label">品名</xsl:with-param><xsl:with-param name="value" select="$q/Parts-name-K"/></xsl:call-template>
          <xsl:call-template name="field"><xsl:with-param name="row" select="10"/><xsl:with-param name="label">型式</xsl:with-param><xsl:with-param name="value" select="$q/Model-name-K"/></xsl:call-template>
          <xsl:call-template name="field"><xsl:with-param name="row" select="11"/><xsl:with-param name="label">依頼数量</xsl:with-param>
            <xsl:with-param name="value" select="concat($q/RFQ-quantity, ' ', $q/Unit)"/></xsl:call-template>
          <xsl:call-template name="field"><xsl:with-param name="row" select="12"/><xsl:with-param name="label">支払条件</xsl:with-param>
            <xsl:with-param name="value" select="concat($q/Payment-code, '　', $q/Payment-conditions-code)"/></xsl:call-template>
          <xsl:call-template name="field"><xsl:with-param name="row" select="13"/><xsl:with-param name="label">見積有効期限</xsl:with-param><xsl:with-param name="value" select="$q/Quotation-expiration-date"/></xsl:call-template>
          <xsl:call-template name="field"><xsl:with-param name="row" select="14"/><xsl:with-param name="label">納入場所</xsl:with-param><xsl:with-param name="value" select="$q/Delivery-point-name-K"/></xsl:call-template>
          <xsl:call-template name="field"><xsl:with-param name="row" select="15"/><xsl:with-param name="label">備考</xsl:with-param><xsl:with-param name="value" select="$q/Customer-remarks-K"/></xsl:call-template>
          <Cell ref="A17:H17" style="head"/>
          <Cell ref="A17">分納</Cell><Cell ref="B17">依頼数量</Cell><Cell ref="C17">希望納期</Cell><Cell ref="D17">見積数量</Cell>
          <Cell ref="E17">回答納期</Cell><Cell ref="F17">見積単価（円）</Cell><Cell ref="G17">見積金額（円）</Cell><Cell ref="H17">辞退・備考</Cell>
          <xsl:for-each select="$rows">
            <xsl:variable name="r" select="17 + position()"/>
            <Cell ref="A{$r}" style="mid"><xsl:value-of select="Devide-delivery-number"/></Cell>
            <Cell ref="B{$r}" style="num"><xsl:call-template name="number"><xsl:with-param name="s" select="Devide-delivery-quantity"/></xsl:call-template></Cell>
            <Cell ref="C{$r}" style="mid"><xsl:value-of select="RFQ-delivery-date"/></Cell>
            <Cell ref="D{$r}:H{$r}" style="answer"/>
          </xsl:for-each>
          <Cell ref="A{$last + 2}" style="from">発注者　<xsl:value-of select="$q/Customer-name-K"/>　<xsl:value-of select="$q/Customer-section-name-K"/>　担当 <xsl:value-of select="$q/Customer-responsible-person-K"/></Cell>
          <Cell ref="B{$last + 2}:H{$last + 2}" style="from"/>
        </Cells>
        <Merges>
          <Merge ref="A1:H1"/><Merge ref="A3:E3"/><Merge ref="A4:E4"/><Merge ref="A5:E6"/>
          <Merge ref="G3:H3"/><Merge ref="G4:H4"/><Merge ref="G5:H5"/>
          <Merge ref="A7:B7"/><Merge ref="C7:H7"/><Merge ref="A8:B8"/><Merge ref="C8:H8"/><Merge ref="A9:B9"/><Merge ref="C9:H9"/>
          <Merge ref="A10:B10"/><Merge ref="C10:H10"/><Merge ref="A11:B11"/><Merge ref="C11:H11"/><Merge ref="A12:B12"/><Merge ref="C12:H12"/>
          <Merge ref="A13:B13"/><Merge ref="C13:H13"/><Merge ref="A14:B14"/><Merge ref="C14:H14"/><Merge ref="A15:B15"/><Merge ref="C15:H15"/>
          <Merge ref="A{$last + 2}:H{$last + 2}"/>
        </Merges>
      </Sheet>
    </Workbook>
  </xsl:template>
</xsl:stylesheet>
