<?xml version="1.0" encoding="UTF-8"?>
<!--
  Pieces every fax layout shares. A layout sheet reads
    /FaxReport[@ReportType]/Record   the management record's addressee fields
    /FaxReport/Document/*            the fax document
  and writes a layout workbook: one sheet, a header block (title, addressee,
  management number), then the document's table.

  A sheet lies as its pages go out. Pages titled "FAX回答再送信依頼",
  "未処理一覧" or "テスト帳票" are sent upright: their sheets are portrait.
  Every other title's pages are turned a quarter to be sent, so its sheet is
  landscape; a sheet added for a new title follows the same rule. Each sheet
  names the rows that continued pages repeat (title, addressee, management
  number, column headings) and prints "page / pages" at the foot.
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">

  <xsl:template name="styles">
    <Styles>
      <Style id="Default" font="IPAGothic" size="9.5" valign="middle"/>
      <Style id="title" font="IPAMincho" size="20" bold="true" halign="center" valign="middle" borderBottom="double"/>
      <Style id="to" font="IPAMincho" size="13" underline="true" valign="bottom"/>
      <Style id="person" size="10.5" valign="middle"/>
      <Style id="label" size="9" halign="right" valign="middle"/>
      <Style id="value" size="10" valign="middle" borderBottom="thin"/>
      <Style id="from" size="9" wrap="true" valign="top" border="dashed"/>
      <Style id="note" size="9" wrap="true" valign="top"/>
      <Style id="head" bold="true" halign="center" valign="middle" fill="#D9D9D9" border="thin" borderBottom="double" wrap="true"/>
      <Style id="item" valign="middle" border="thin" wrap="true"/>
      <Style id="num" halign="right" valign="middle" border="thin"/>
      <Style id="mid" halign="center" valign="middle" border="thin"/>
      <Style id="answer" valign="middle" border="thin" fill="#F2F2F2"/>
      <Style id="group" bold="true" valign="middle" fill="#EFEFEF" border="thin" borderTop="medium"/>
      <Style id="sumlabel" bold="true" halign="center" valign="middle" fill="#EFEFEF" border="thin" borderTop="double"/>
      <Style id="sum" bold="true" halign="right" valign="middle" border="thin" borderTop="double"/>
      <Style id="test" font="IPAMincho" size="28" bold="true" halign="center" valign="middle" border="dashed"/>
      <Style id="foot" size="8.5" halign="center" valign="middle" borderTop="thin"/>
    </Styles>
  </xsl:template>

  <!-- Rows 3 and 4 from column A: the addressee as the record names it. -->
  <xsl:template name="addressee">
    <xsl:variable name="r" select="/FaxReport/Record"/>
    <Cell ref="A3" style="to">
      <xsl:value-of select="$r/SendCompanyName"/>
      <xsl:if test="string($r/SendCompanyName)">　御中</xsl:if>
    </Cell>
    <Cell ref="A4" style="person">
      <xsl:value-of select="$r/SendPostName"/>
      <xsl:if test="string($r/SendChargeName)">　<xsl:value-of select="$r/SendChargeName"/>　様</xsl:if>
      <xsl:if test="string($r/SendFAXNum)">　（FAX <xsl:value-of select="$r/SendFAXNum"/>）</xsl:if>
    </Cell>
  </xsl:template>

  <!-- "YYYYMMDDHHNNSS" or "YYYYMMDD" as a date people read; other text as it is. -->
  <xsl:template name="date">
    <xsl:param name="s"/>
    <xsl:choose>
      <xsl:when test="string-length($s) = 14 and translate($s, '0123456789', '') = ''">
        <xsl:value-of select="concat(substring($s, 1, 4), '/', substring($s, 5, 2), '/', substring($s, 7, 2), ' ',
                                     substring($s, 9, 2), ':', substring($s, 11, 2))"/>
      </xsl:when>
      <xsl:when test="string-length($s) = 8 and translate($s, '0123456789', '') = ''">
        <xsl:value-of select="concat(substring($s, 1, 4), '/', substring($s, 5, 2), '/', substring($s, 7, 2))"/>
      </xsl:when>
      <xsl:otherwise><xsl:value-of select="$s"/></xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <!-- Amounts and quantities with grouping; text that is no number as it is. -->
  <xsl:template name="number">
    <xsl:param name="s"/>
    <xsl:choose>
      <xsl:when test="string(number($s)) != 'NaN'"><xsl:value-of select="format-number(number($s), '#,##0.###')"/></xsl:when>
      <xsl:otherwise><xsl:value-of select="$s"/></xsl:otherwise>
    </xsl:choose>
  </xsl:template>
</xsl:stylesheet>
