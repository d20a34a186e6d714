<?xml version="1.0" encoding="UTF-8"?>
<!-- 見積未回答一覧: the documents still waiting for the supplier's answer. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:include href="FaxLayout_Common.xsl"/>
  <xsl:output method="xml" encoding="UTF-8" indent="yes"/>

  <xsl:template match="/">
    <xsl:variable name="d" select="/FaxReport/Document/*"/>
    <Workbook>
      <xsl:call-template name="styles"/>
      <Sheet name="見積未回答一覧">
        <PageSetup orientation="landscape" leftMargin="12" rightMargin="12" topMargin="20" bottomMargin="12" titleRows="1:7" footer="&amp;P / &amp;N"/>
        <Columns defaultWidth="48">
          <Column index="1" width="34"/><Column index="2" width="120"/><Column index="3" width="50"/>
          <Column index="4" width="120"/><Column index="5" width="330"/><Column index="6" width="130"/>
        </Columns>
        <Rows defaultHeight="20"><Row index="1" height="40"/><Row index="2" height="8"/><Row index="7" height="24"/></Rows>
        <Cells>
          <Cell ref="A1" style="title">見　積　未　回　答　一　覧</Cell><Cell ref="B1:F1" style="title"/>
          <xsl:call-template name="addressee"/>
          <Cell ref="A5" style="note">発注者　<xsl:value-of select="$d/Customer-name-K"/>（<xsl:value-of select="$d/Customer-code"/>）への下記の回答がまだ届いておりません。至急ご回答をお願いいたします。</Cell>
          <Cell ref="A6" style="person">管理番号　<xsl:value-of select="$d/RepManageNo"/></Cell>
          <Cell ref="A7:F7" style="head"/>
          <Cell ref="A7">No.</Cell><Cell ref="B7">見積依頼番号</Cell><Cell ref="C7">枝番</Cell><Cell ref="D7">品番</Cell><Cell ref="E7">品名</Cell><Cell ref="F7">見積回答期限</Cell>
          <xsl:for-each select="$d/Reminders/Reminder">
            <xsl:variable name="r" select="7 + position()"/>
            <Cell ref="A{$r}" style="num"><xsl:value-of select="RefNum"/></Cell>
            <Cell ref="B{$r}" style="item"><xsl:value-of select="RFQ-number"/></Cell>
            <Cell ref="C{$r}" style="mid"><xsl:value-of select="RFQ-branch-number"/></Cell>
            <Cell ref="D{$r}" style="item"><xsl:value-of select="Parts-number"/></Cell>
            <Cell ref="E{$r}" style="item"><xsl:value-of select="Parts-name-K"/></Cell>
            <Cell ref="F{$r}" style="mid"><xsl:value-of select="RFQ-reply-limit-date"/></Cell>
          </xsl:for-each>
        </Cells>
        <Merges>
          <Merge ref="A1:F1"/><Merge ref="A3:F3"/><Merge ref="A4:F4"/><Merge ref="A5:F5"/><Merge ref="A6:D6"/>
        </Merges>
      </Sheet>
    </Workbook>
  </xsl:template>
</xsl:stylesheet>
