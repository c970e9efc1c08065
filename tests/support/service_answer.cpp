#include "support/service_answer.h"

namespace kqc::test {

std::string lines(std::initializer_list<std::string> all) {
    std::string text;
    for (const auto& line : all) text += "\r\n" + line;
    return text;
}

std::string returnCode(std::string_view code) {
    return "<returnCode xsi:type=\"xsd:int\">" + std::string(code) + "</returnCode>";
}

std::string message(std::string_view text) {
    return "<message xsi:type=\"xsd:string\">" + std::string(text) + "</message>";
}

std::string fileData(std::string_view base64) {
    return "<fileData xsi:type=\"xsd:base64Binary\">" + std::string(base64) + "</fileData>";
}

}  // namespace kqc::test
