<?xml version="1.0" encoding="UTF-8"?>
<!--
  Code conversion: every code field of the message parts that the code table
  knows (the StandardCode block the builder appends to the document) shows
  the code's short name; the code itself stays in the attribute Code, so a
  reader of the fax document can still tell what the message carried.
  Everything else, the StandardCode block included, is copied unchanged.
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="xml" encoding="UTF-8" indent="no" omit-xml-declaration="yes"/>
  <xsl:strip-space elements="*"/>

  <xsl:key name="code" match="/*/StandardCode/*/Name" use="concat(local-name(..), '|', @Code)"/>

  <xsl:template match="@*|node()">
    <xsl:copy><xsl:apply-templates select="@*|node()"/></xsl:copy>
  </xsl:template>

  <xsl:template match="JPTRM//*[not(*)]">
    <xsl:variable name="name" select="key('code', concat(local-name(), '|', normalize-space(.)))"/>
    <xsl:choose>
      <xsl:when test="$name">
        <xsl:copy>
          <xsl:apply-templates select="@*"/>
          <xsl:attribute name="Code"><xsl:value-of select="normalize-space(.)"/></xsl:attribute>
          <xsl:value-of select="$name[1]"/>
        </xsl:copy>
      </xsl:when>
      <xsl:otherwise>
        <xsl:copy><xsl:apply-templates select="@*|node()"/></xsl:copy>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:template>
</xsl:stylesheet>
