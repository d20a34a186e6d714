<?xml version="1.0" encoding="UTF-8"?>
<!--
  Unanswered-items list (未処理一覧). The builder writes the addressee into
  JPTRM/SendCompanyName, SendPostName, SendChargeName and SendFAXNum after
  the transform, so those four stay direct children of the document element.
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="xml" encoding="UTF-8" indent="no" omit-xml-declaration="yes"/>
  <xsl:strip-space elements="*"/>

  <xsl:template match="/">
    <xsl:apply-templates select="*"/>
  </xsl:template>

  <xsl:template match="/*">
    <JPTRM>
      <Title>未処理一覧</Title>
      <RepManageNo><xsl:value-of select="RepManageNo"/></RepManageNo>
      <SendCompanyName/>
      <SendPostName/>
      <SendChargeName/>
      <SendFAXNum/>
      <Items>
        <xsl:for-each select="FAXManageNum">
          <Item>
            <RefNum><xsl:value-of select="position()"/></RefNum>
            <RepManageNo><xsl:value-of select="RepManageNo"/></RepManageNo>
            <RepType><xsl:value-of select="RepType"/></RepType>
            <SendDate><xsl:value-of select="SendDate"/></SendDate>
            <OrderCode><xsl:value-of select="OrderCode"/></OrderCode>
            <OrderName><xsl:value-of select="OrderName"/></OrderName>
            <OrderNumber><xsl:value-of select="OrderNumber"/></OrderNumber>
          </Item>
        </xsl:for-each>
      </Items>
    </JPTRM>
  </xsl:template>
</xsl:stylesheet>
