<?xml version="1.0" encoding="UTF-8"?>
<!-- 納期確認書: the lines to confirm, with empty answer columns for the supplier. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:include href="FaxLayout_Common.xsl"/>
  <xsl:output method="xml" encoding="UTF-8" indent="yes"/>

  <xsl:template match="/">
    <xsl:variable name="d" select="/FaxReport/Document/*"/>
    <xsl:variable name="first" select="$d/JPTRMS/JPTRM[1]"/>
    <xsl:variable name="last" select="7 + count($d/JPTRMS/JPTRM)"/>
    <Workbook>
      <xsl:call-template name="styles"/>
      <Sheet name="納期確認書">
        <PageSetup orientation="landscape" leftMargin="12" rightMargin="12" topMargin="20" bottomMargin="12" titleRows="1:7" footer="&amp;P / &amp;N"/>
        <Columns defaultWidth="48">
          <Column index="1" width="28"/><Column index="2" width="90"/><Column index="3" width="34"/>
          <Column index="4" width="90"/><Column index="5" width="190"/><Column index="6" width="60"/>
          <Column index="7" width="40"/><Column index="8" width="80"/><Column index="9" width="100"/>
          <Column index="10" width="90"/>
        </Columns>
        <Rows defaultHeight="20"><Row index="1" height="40"/><Row index="2" height="8"/><Row index="7" height="30"/></Rows>
        <Cells>
          <Cell ref="A1" style="title">納　期　確　認　書</Cell><Cell ref="B1:J1" style="title"/>
          <xsl:call-template name="addressee"/>
          <Cell ref="A5" style="note">下記の納期をご確認のうえ、回答欄にご記入いただき、FAX <xsl:value-of select="$d/PilotFAXNumber"/> へご返送ください。</Cell>
          <Cell ref="H3" style="label">管理番号</Cell><Cell ref="I3" style="value"><xsl:value-of select="$d/RepManageNo"/></Cell><Cell ref="J3" style="value"/>
          <Cell ref="H4" style="label">回答期限</Cell><Cell ref="I4" style="value"><xsl:value-of select="$first/Delivery-confirm-reply-limit-date"/></Cell><Cell ref="J4" style="value"/>
          <Cell ref="H5" style="label">発注者</Cell>
          <Cell ref="I5" style="from"><xsl:value-of select="$d/Customer-name-K"/><xsl:text>&#10;</xsl:text><xsl:value-of select="$d/Customer-section-name-K"/>　<xsl:value-of select="$first/Customer-buyer-name-K"/></Cell><Cell ref="J5:J6" style="from"/><Cell ref="I6" style="from"/>
          <Cell ref="A7:J7" style="head"/>
          <Cell ref="A7">No.</Cell><Cell ref="B7">注文番号</Cell><Cell ref="C7">分納</Cell><Cell ref="D7">品番</Cell>
          <Cell ref="E7">品名</Cell><Cell ref="F7">確認数量</Cell><Cell ref="G7">単位</Cell><Cell ref="H7">確認納期</Cell>
          <Cell ref="I7">回答納期</Cell><Cell ref="J7">回答数量</Cell>
          <xsl:for-each select="$d/JPTRMS/JPTRM">
            <xsl:variable name="r" select="7 + position()"/>
            <Cell ref="A{$r}" style="num"><xsl:value-of select="RefNum"/></Cell>
            <Cell ref="B{$r}" style="item"><xsl:value-of select="Order-number"/></Cell>
            <Cell ref="C{$r}" style="mid"><xsl:value-of select="Devide-delivery-number"/></Cell>
            <Cell ref="D{$r}" style="item"><xsl:value-of select="Parts-number"/></Cell>
            <Cell ref="E{$r}" style="item"><xsl:value-of select="Parts-name-K"/></Cell>
            <Cell ref="F{$r}" style="num"><xsl:call-template name="number"><xsl:with-param name="s" select="Delivery-confirm-quantity"/></xsl:call-template></Cell>
            <Cell ref="G{$r}" style="mid"><xsl:value-of select="Unit"/></Cell>
            <Cell ref="H{$r}" style="mid"><xsl:value-of select="Delivery-confirm-delivery-date"/></Cell>
            <Cell ref="I{$r}" style="answer"/>
            <Cell ref="J{$r}" style="answer"/>
          </xsl:for-each>
          <Cell ref="A{$last + 2}" style="foot">回答欄の管理番号とNo.は変更しないでください。電話で管理番号を入力して回答を確定してください。</Cell>
        </Cells>
        <Merges>
          <Merge ref="A1:J1"/><Merge ref="A3:F3"/><Merge ref="A4:F4"/><Merge ref="A5:F6"/>
          <Merge ref="I3:J3"/><Merge ref="I4:J4"/><Merge ref="I5:J6"/>
          <Merge ref="A{$last + 2}:J{$last + 2}"/>
        </Merges>
      </Sheet>
    </Workbook>
  </xsl:template>
</xsl:stylesheet>
