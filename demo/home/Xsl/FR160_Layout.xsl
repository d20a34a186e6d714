<?xml version="1.0" encoding="UTF-8"?>
<!-- テスト帳票: a page that shows the line and the machine work. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:include href="FaxLayout_Common.xsl"/>
  <xsl:output method="xml" encoding="UTF-8" indent="yes"/>

  <xsl:template match="/">
    <xsl:variable name="d" select="/FaxReport/Document/*"/>
    <Workbook>
      <xsl:call-template name="styles"/>
      <Sheet name="テスト帳票">
        <PageSetup orientation="portrait" leftMargin="12" rightMargin="12" topMargin="20" bottomMargin="12" footer="&amp;P / &amp;N"/>
        <Columns defaultWidth="48">
          <Column index="1" width="40"/><Column index="2" width="120"/><Column index="3" width="120"/>
          <Column index="4" width="120"/><Column index="5" width="120"/><Column index="6" width="40"/>
        </Columns>
        <Rows defaultHeight="22"><Row index="1" height="40"/><Row index="2" height="8"/><Row index="9" height="120"/></Rows>
        <Cells>
          <Cell ref="A1" style="title">テ　ス　ト　帳　票</Cell><Cell ref="B1:F1" style="title"/>
          <xsl:call-template name="addressee"/>
          <Cell ref="B6" style="head">送信日時</Cell><Cell ref="C6" style="item"><xsl:value-of select="$d/SendDate"/></Cell><Cell ref="D6:E6" style="item"/>
          <Cell ref="B7" style="head">管理番号</Cell><Cell ref="C7" style="item"><xsl:value-of select="$d/RepManageNo"/></Cell><Cell ref="D7:E7" style="item"/>
          <Cell ref="B9" style="test">ＦＡＸテスト送信</Cell><Cell ref="C9:E9" style="test"/>
          <Cell ref="B11" style="note">この帳票はご依頼によるテスト送信です。正しく受信できましたら、特にご連絡は不要です。
文字や罫線がかすれている場合は、お手数ですが発注者までご連絡ください。</Cell>
          <Cell ref="C11:E13" style="note"/>
        </Cells>
        <Merges>
          <Merge ref="A1:F1"/><Merge ref="A3:F3"/><Merge ref="A4:F4"/><Merge ref="C6:E6"/><Merge ref="C7:E7"/>
          <Merge ref="B9:E9"/><Merge ref="B11:E13"/>
        </Merges>
      </Sheet>
    </Workbook>
  </xsl:template>
</xsl:stylesheet>
