<?xml version="1.0" encoding="UTF-8"?>
<!--
  A stored fax document laid out again (the report types without a form of
  their own): its title, its management number, then every field of the
  document as a line of item and value, in document order. Items carry the
  names a business form gives them (the table below); a field the table
  does not know shows its element name.
  The page lies as the pages of its report title go out: upright for the
  three titles sent upright, wide for every other, which is turned to be
  sent.
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
                xmlns:lbl="urn:faxgate:field-labels" exclude-result-prefixes="lbl">
  <xsl:include href="FaxLayout_Common.xsl"/>
  <xsl:output method="xml" encoding="UTF-8" indent="yes"/>

  <lbl:labels>
    <lbl:l n="RepManageNo">管理番号</lbl:l>
    <lbl:l n="RepType">帳票種別</lbl:l>
    <lbl:l n="PilotFAXNumber">返信先FAX番号</lbl:l>
    <lbl:l n="RefNum">行番号</lbl:l>
    <lbl:l n="Sequence-number">連番</lbl:l>
    <lbl:l n="Information-code">情報区分</lbl:l>
    <lbl:l n="Data-create-date">データ作成日</lbl:l>
    <lbl:l n="Data-create-time">データ作成時刻</lbl:l>
    <lbl:l n="Customer-code">発注者コード</lbl:l>
    <lbl:l n="Customer-name-K">発注者</lbl:l>
    <lbl:l n="Customer-section-name-K">発注部署</lbl:l>
    <lbl:l n="Customer-buyer-name-K">購買担当者</lbl:l>
    <lbl:l n="Customer-responsible-person-K">担当者</lbl:l>
    <lbl:l n="Customer-remarks-K">備考</lbl:l>
    <lbl:l n="Supplier-code">受注者コード</lbl:l>
    <lbl:l n="Supplier-name-K">受注者</lbl:l>
    <lbl:l n="Vendor-code">仕入先コード</lbl:l>
    <lbl:l n="Correction-code">訂正区分</lbl:l>
    <lbl:l n="Import-domestic-code">内外区分</lbl:l>
    <lbl:l n="RFQ-number">見積依頼番号</lbl:l>
    <lbl:l n="RFQ-branch-number">見積依頼枝番</lbl:l>
    <lbl:l n="RFQ-revise-times">改訂回数</lbl:l>
    <lbl:l n="RFQ-date">見積依頼日</lbl:l>
    <lbl:l n="RFQ-reply-limit-date">見積回答期限</lbl:l>
    <lbl:l n="RFQ-quantity">見積依頼数量</lbl:l>
    <lbl:l n="RFQ-goods-quantity">見積数量</lbl:l>
    <lbl:l n="RFQ-delivery-date">希望納期</lbl:l>
    <lbl:l n="Quotation-expiration-date">見積有効期限</lbl:l>
    <lbl:l n="Order-number">注文番号</lbl:l>
    <lbl:l n="Order-date">注文日</lbl:l>
    <lbl:l n="Order-quantity">注文数量</lbl:l>
    <lbl:l n="Order-amount">注文金額</lbl:l>
    <lbl:l n="Balance-quantity">残数量</lbl:l>
    <lbl:l n="Parts-number">品番</lbl:l>
    <lbl:l n="Parts-name-K">品名</lbl:l>
    <lbl:l n="Model-name-K">型式</lbl:l>
    <lbl:l n="Unit">単位</lbl:l>
    <lbl:l n="Unit-price">単価</lbl:l>
    <lbl:l n="Unit-price-code">単価区分</lbl:l>
    <lbl:l n="Amount">金額</lbl:l>
    <lbl:l n="Total-amount">合計金額</lbl:l>
    <lbl:l n="Grand-total-amount">総合計金額</lbl:l>
    <lbl:l n="Payment-code">支払区分</lbl:l>
    <lbl:l n="Payment-conditions-code">支払条件</lbl:l>
    <lbl:l n="Credit-code">計上区分</lbl:l>
    <lbl:l n="Add-up-year-and-month">計上年月</lbl:l>
    <lbl:l n="Acceptance-date">検収日</lbl:l>
    <lbl:l n="Acceptance-quantity">検収数量</lbl:l>
    <lbl:l n="Delivery-point-name-K">納入場所</lbl:l>
    <lbl:l n="Delivery-date">納入日</lbl:l>
    <lbl:l n="Devide-delivery-number">分納番号</lbl:l>
    <lbl:l n="Devide-delivery-quantity">分納数量</lbl:l>
    <lbl:l n="Devide-delivery-date">分納納期</lbl:l>
    <lbl:l n="Delivery-confirm-date">納期確認日</lbl:l>
    <lbl:l n="Delivery-confirm-delivery-date">回答納期</lbl:l>
    <lbl:l n="Delivery-confirm-quantity">回答数量</lbl:l>
    <lbl:l n="Delivery-confirm-reply-limit-date">納期回答期限</lbl:l>
    <lbl:l n="SendDate">送信日時</lbl:l>
    <lbl:l n="SendCompanyName">送信先</lbl:l>
    <lbl:l n="SendPostName">送信先部署</lbl:l>
    <lbl:l n="SendChargeName">送信先担当者</lbl:l>
    <lbl:l n="SendFAXNum">FAX番号</lbl:l>
    <lbl:l n="CompanyName">送信先</lbl:l>
    <lbl:l n="PostName">送信先部署</lbl:l>
    <lbl:l n="ChargeName">送信先担当者</lbl:l>
    <lbl:l n="FAXNum">FAX番号</lbl:l>
    <lbl:l n="OrderCode">発注者コード</lbl:l>
    <lbl:l n="OrderName">発注者</lbl:l>
    <lbl:l n="OrderNumber">注文番号</lbl:l>
    <lbl:l n="PageNum">枚数</lbl:l>
    <lbl:l n="Result">送信結果</lbl:l>
    <lbl:l n="ReSendDate">再送日時</lbl:l>
  </lbl:labels>

  <xsl:variable name="labels" select="document('')/*/lbl:labels/lbl:l"/>

  <xsl:template match="/">
    <xsl:variable name="d" select="/FaxReport/Document/*"/>
    <xsl:variable name="r" select="/FaxReport/Record"/>
    <xsl:variable name="title">
      <xsl:choose>
        <xsl:when test="string($d/Title)"><xsl:value-of select="$d/Title"/></xsl:when>
        <xsl:when test="string($r/RepType)"><xsl:value-of select="$r/RepType"/></xsl:when>
        <xsl:otherwise>ＦＡＸ帳票</xsl:otherwise>
      </xsl:choose>
    </xsl:variable>
    <!-- The title the pages are shaped by is the record's. -->
    <xsl:variable name="kind">
      <xsl:choose>
        <xsl:when test="string($r/RepType)"><xsl:value-of select="$r/RepType"/></xsl:when>
        <xsl:otherwise><xsl:value-of select="$title"/></xsl:otherwise>
      </xsl:choose>
    </xsl:variable>
    <xsl:variable name="upright" select="$kind = 'FAX回答再送信依頼' or $kind = '未処理一覧' or $kind = 'テスト帳票'"/>
    <xsl:variable name="fields" select="$d//*[not(*) and normalize-space(.) != '' and not(self::Title)]"/>
    <Workbook>
      <xsl:call-template name="styles"/>
      <Sheet name="{$title}">
        <xsl:choose>
          <xsl:when test="$upright">
            <PageSetup orientation="portrait" leftMargin="12" rightMargin="12" topMargin="20" bottomMargin="12" titleRows="1:6" footer="&amp;P / &amp;N"/>
            <Columns defaultWidth="48">
              <Column index="1" width="30"/><Column index="2" width="190"/><Column index="3" width="350"/>
            </Columns>
          </xsl:when>
          <xsl:otherwise>
            <PageSetup orientation="landscape" leftMargin="12" rightMargin="12" topMargin="20" bottomMargin="12" titleRows="1:6" footer="&amp;P / &amp;N"/>
            <Columns defaultWidth="48">
              <Column index="1" width="40"/><Column index="2" width="260"/><Column index="3" width="484"/>
            </Columns>
          </xsl:otherwise>
        </xsl:choose>
        <Rows defaultHeight="20"><Row index="1" height="40"/><Row index="2" height="8"/><Row index="6" height="24"/></Rows>
        <Cells>
          <Cell ref="A1" style="title"><xsl:value-of select="$title"/></Cell><Cell ref="B1:C1" style="title"/>
          <xsl:call-template name="addressee"/>
          <Cell ref="A5" style="person">管理番号　<xsl:value-of select="$r/RepManageNo"/></Cell>
          <Cell ref="A6:C6" style="head"/><Cell ref="A6">No.</Cell><Cell ref="B6">項目</Cell><Cell ref="C6">内容</Cell>
          <xsl:for-each select="$fields">
            <xsl:variable name="row" select="6 + position()"/>
            <xsl:variable name="name" select="local-name()"/>
            <xsl:variable name="label" select="$labels[@n = $name]"/>
            <Cell ref="A{$row}" style="num"><xsl:value-of select="position()"/></Cell>
            <Cell ref="B{$row}" style="item">
              <xsl:choose>
                <xsl:when test="$label"><xsl:value-of select="$label"/></xsl:when>
                <xsl:otherwise><xsl:value-of select="$name"/></xsl:otherwise>
              </xsl:choose>
            </Cell>
            <Cell ref="C{$row}" style="item"><xsl:value-of select="."/></Cell>
          </xsl:for-each>
        </Cells>
        <Merges><Merge ref="A1:C1"/><Merge ref="A3:C3"/><Merge ref="A4:C4"/><Merge ref="A5:C5"/></Merges>
      </Sheet>
    </Workbook>
  </xsl:template>
</xsl:stylesheet>
