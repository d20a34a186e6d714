<?xml version="1.0" encoding="UTF-8"?>
<!-- FAX送信履歴一覧: the month's sends to the caller's fax number. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:include href="FaxLayout_Common.xsl"/>
  <xsl:output method="xml" encoding="UTF-8" indent="yes"/>

  <xsl:template match="/">
    <xsl:variable name="d" select="/FaxReport/Document/*"/>
    <Workbook>
      <xsl:call-template name="styles"/>
      <Sheet name="FAX送信履歴一覧">
        <PageSetup orientation="landscape" leftMargin="12" rightMargin="12" topMargin="20" bottomMargin="12" titleRows="1:7" footer="&amp;P / &amp;N"/>
        <Columns defaultWidth="48">
          <Column index="1" width="34"/><Column index="2" width="110"/><Column index="3" width="140"/>
          <Column index="4" width="130"/><Column index="5" width="210"/><Column index="6" width="50"/>
          <Column index="7" width="50"/><Column index="8" width="60"/>
        </Columns>
        <Rows defaultHeight="20"><Row index="1" height="40"/><Row index="2" height="8"/><Row index="7" height="24"/></Rows>
        <Cells>
          <Cell ref="A1" style="title">ＦＡＸ送信履歴一覧</Cell><Cell ref="B1:H1" style="title"/>
          <xsl:call-template name="addressee"/>
          <Cell ref="A5" style="note">ご依頼の月に FAX <xsl:value-of select="$d/FAXNum"/> 宛てに送信した帳票は下記のとおりです（<xsl:value-of select="count($d/FaxSendLogs/FaxSendLog)"/> 件）。</Cell>
          <Cell ref="A6" style="person">管理番号　<xsl:value-of select="$d/RepManageNo"/></Cell>
          <Cell ref="A7:H7" style="head"/>
          <Cell ref="A7">No.</Cell><Cell ref="B7">送信日時</Cell><Cell ref="C7">管理番号</Cell><Cell ref="D7">帳票</Cell>
          <Cell ref="E7">発注者</Cell><Cell ref="F7">枚数</Cell><Cell ref="G7">結果</Cell><Cell ref="H7">再送</Cell>
          <xsl:for-each select="$d/FaxSendLogs/FaxSendLog">
            <xsl:variable name="r" select="7 + position()"/>
            <Cell ref="A{$r}" style="num"><xsl:value-of select="RefNum"/></Cell>
            <Cell ref="B{$r}" style="mid"><xsl:call-template name="date"><xsl:with-param name="s" select="SendDate"/></xsl:call-template></Cell>
            <Cell ref="C{$r}" style="item"><xsl:value-of select="RepManageNo"/></Cell>
            <Cell ref="D{$r}" style="item"><xsl:value-of select="RepType"/></Cell>
            <Cell ref="E{$r}" style="item"><xsl:value-of select="OrderName"/></Cell>
            <Cell ref="F{$r}" style="num"><xsl:value-of select="PageNum"/></Cell>
            <Cell ref="G{$r}" style="mid"><xsl:value-of select="Result"/></Cell>
            <Cell ref="H{$r}" style="mid"><xsl:if test="string(ReSendDate)">済</xsl:if></Cell>
          </xsl:for-each>
        </Cells>
        <Merges>
          <Merge ref="A1:H1"/><Merge ref="A3:H3"/><Merge ref="A4:H4"/><Merge ref="A5:H5"/><Merge ref="A6:D6"/>
        </Merges>
      </Sheet>
    </Workbook>
  </xsl:template>
</xsl:stylesheet>
