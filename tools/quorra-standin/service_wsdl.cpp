#include "quorra-standin/service_wsdl.h"

#include "quorra-standin/soap_response.h"

namespace kqc::standin {
namespace {

// "@NS@" stands for the service namespace, "@ADDRESS@" for the endpoint URL. The parts are
// unqualified, as the service reads them; the profile holds the seven elements in the order the
// client sends them. The source's two forms are plain members rather than a choice, which SOAP
// encoding has no form for and rpc/encoded importers refuse.
constexpr std::string_view kWsdl = R"(<?xml version="1.0" encoding="UTF-8"?>
<wsdl:definitions targetNamespace="@NS@"
    xmlns:tns="@NS@"
    xmlns:wsdl="http://schemas.xmlsoap.org/wsdl/"
    xmlns:wsdlsoap="http://schemas.xmlsoap.org/wsdl/soap/"
    xmlns:xsd="http://www.w3.org/2001/XMLSchema">
  <wsdl:types>
    <xsd:schema targetNamespace="@NS@">
      <xsd:complexType name="AudioProfile">
        <xsd:sequence>
          <xsd:element name="fileFormat" type="xsd:string"/>
          <xsd:element name="codec" type="xsd:string"/>
          <xsd:element name="bitRate" type="xsd:string"/>
          <xsd:element name="channels" type="xsd:string"/>
          <xsd:element name="durationLimit" type="xsd:int"/>
          <xsd:element name="samplingRate" type="xsd:string"/>
          <xsd:element name="samplingResolution" type="xsd:int"/>
        </xsd:sequence>
      </xsd:complexType>
      <xsd:complexType name="TargetProfile">
        <xsd:sequence>
          <xsd:element name="audio" type="tns:AudioProfile"/>
        </xsd:sequence>
      </xsd:complexType>
      <xsd:complexType name="MediaTarget">
        <xsd:sequence>
          <xsd:element name="profileID" type="xsd:string"/>
          <xsd:element name="profile" type="tns:TargetProfile"/>
        </xsd:sequence>
      </xsd:complexType>
      <xsd:complexType name="MediaSource">
        <xsd:sequence>
          <xsd:element name="type" type="xsd:string"/>
          <xsd:element name="format" type="xsd:string"/>
          <xsd:element name="codec" type="xsd:string"/>
          <!-- Exactly one of location and fileData is sent: the URL the service fetches the
               source from, or the source itself. The other is left out, or sent as nil. -->
          <xsd:element name="location" type="xsd:string" minOccurs="0" nillable="true"/>
          <xsd:element name="fileData" type="xsd:base64Binary" minOccurs="0" nillable="true"/>
        </xsd:sequence>
      </xsd:complexType>
      <xsd:complexType name="TranscodeRequest">
        <xsd:sequence>
          <xsd:element name="source" type="tns:MediaSource"/>
          <xsd:element name="target" type="tns:MediaTarget"/>
          <xsd:element name="additionalData" type="xsd:string"/>
        </xsd:sequence>
      </xsd:complexType>
      <xsd:complexType name="TranscodeInput">
        <xsd:sequence>
          <xsd:element name="transactionID" type="xsd:string"/>
          <xsd:element name="request" type="tns:TranscodeRequest"/>
        </xsd:sequence>
      </xsd:complexType>
      <xsd:complexType name="TranscodeResponse">
        <xsd:sequence>
          <xsd:element name="returnCode" type="xsd:int"/>
          <xsd:element name="message" type="xsd:string"/>
          <xsd:element name="fileData" type="xsd:base64Binary" minOccurs="0"/>
        </xsd:sequence>
      </xsd:complexType>
    </xsd:schema>
  </wsdl:types>
  <wsdl:message name="transcodeRequest">
    <wsdl:part name="in0" type="tns:TranscodeInput"/>
  </wsdl:message>
  <wsdl:message name="transcodeResponse">
    <wsdl:part name="transcodeReturn" type="tns:TranscodeResponse"/>
  </wsdl:message>
  <wsdl:portType name="MediaAdapter">
    <wsdl:operation name="transcode" parameterOrder="in0">
      <wsdl:input name="transcodeRequest" message="tns:transcodeRequest"/>
      <wsdl:output name="transcodeResponse" message="tns:transcodeResponse"/>
    </wsdl:operation>
  </wsdl:portType>
  <wsdl:binding name="MediaAdapterSoapBinding" type="tns:MediaAdapter">
    <wsdlsoap:binding style="rpc" transport="http://schemas.xmlsoap.org/soap/http"/>
    <wsdl:operation name="transcode">
      <wsdlsoap:operation soapAction="transcode"/>
      <wsdl:input name="transcodeRequest">
        <wsdlsoap:body use="encoded" namespace="@NS@"
            encodingStyle="http://schemas.xmlsoap.org/soap/encoding/"/>
      </wsdl:input>
      <wsdl:output name="transcodeResponse">
        <wsdlsoap:body use="encoded" namespace="@NS@"
            encodingStyle="http://schemas.xmlsoap.org/soap/encoding/"/>
      </wsdl:output>
    </wsdl:operation>
  </wsdl:binding>
  <wsdl:service name="MediaAdapterService">
    <wsdl:port name="MediaAdapter" binding="tns:MediaAdapterSoapBinding">
      <wsdlsoap:address location="@ADDRESS@"/>
    </wsdl:port>
  </wsdl:service>
</wsdl:definitions>
)";

}  // namespace

std::string ServiceWsdl(std::string_view serviceNamespace, std::string_view address) {
    std::string wsdl;
    wsdl.reserve(kWsdl.size() + 8 * serviceNamespace.size() + address.size());
    for (std::string_view rest = kWsdl; !rest.empty();) {
        auto at = rest.find('@');
        wsdl.append(rest.substr(0, at));
        if (at == std::string_view::npos) break;
        auto end = rest.find('@', at + 1);
        std::string_view name = rest.substr(at + 1, end - at - 1);
        AppendEscaped(wsdl, name == "NS" ? serviceNamespace : address);
        rest.remove_prefix(end + 1);
    }
    return wsdl;
}

}  // namespace kqc::standin
