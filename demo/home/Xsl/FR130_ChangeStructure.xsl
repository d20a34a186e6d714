<?xml version="1.0" encoding="UTF-8"?>
<!-- Send-history list (FAX送信履歴一覧): the month's sends to one fax number. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="xml" encoding="UTF-8" indent="no" omit-xml-declaration="yes"/>
  <xsl:strip-space elements="*"/>

  <xsl:template match="/">
    <xsl:apply-templates select="*"/>
  </xsl:template>

  <xsl:template match="/*">
    <xsl:variable name="first" select="FaxSendLog[1]"/>
    <JPTRMROOT>
      <Title>FAX送信履歴一覧</Title>
      <RepManageNo><xsl:value-of select="RepManageNo"/></RepManageNo>
      <CompanyName><xsl:value-of select="$first/CompanyName"/></CompanyName>
      <PostName><xsl:value-of select="$first/PostName"/></PostName>
      <ChargeName><xsl:value-of select="$first/ChargeName"/></ChargeName>
      <!-- The fax number asked for, which a month without sends has too. -->
      <FAXNum><xsl:value-of select="(FAXNum | $first/FAXNum)[1]"/></FAXNum>
      <FaxSendLogs>
        <xsl:for-each select="FaxSendLog">
          <FaxSendLog>
            <RefNum><xsl:value-of select="position()"/></RefNum>
            <SendDate><xsl:value-of select="SendDate"/></SendDate>
            <RepManageNo><xsl:value-of select="RepManageNo"/></RepManageNo>
            <RepType><xsl:value-of select="RepType"/></RepType>
            <OrderName><xsl:value-of select="OrderName"/></OrderName>
            <PageNum><xsl:value-of select="PageNum"/></PageNum>
            <Result><xsl:value-of select="Result"/></Result>
            <ReSendDate><xsl:value-of select="ReSendDate"/></ReSendDate>
          </FaxSendLog>
        </xsl:for-each>
      </FaxSendLogs>
    </JPTRMROOT>
  </xsl:template>
</xsl:stylesheet>
