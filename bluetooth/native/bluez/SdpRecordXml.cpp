#include "bluetooth/native/bluez/SdpRecordXml.h"

#include "bluetooth/io/Errors.h"
#include "bluetooth/native/bluez/RecordAttributes.h"
#include "bluetooth/sdp/DataElement.h"

namespace flarecast::bluetooth::bluez {

namespace {

std::string hexDigits(std::uint64_t value, int digits) {
    std::string text(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i) {
        text[static_cast<std::size_t>(i)] = "0123456789abcdef"[value & 0xF];
        value >>= 4;
    }
    return text;
}

std::string hexBytes(const Bytes& bytes) {
    std::string text;
    for (const std::uint8_t byte : bytes) {
        text += hexDigits(byte, 2);
    }
    return text;
}

std::string escaped(const std::string& text) {
    std::string result;
    for (const char c : text) {
        switch (c) {
            case '&':
                result += "&amp;";
                break;
            case '<':
                result += "&lt;";
                break;
            case '>':
                result += "&gt;";
                break;
            case '"':
                result += "&quot;";
                break;
            case '\'':
                result += "&apos;";
                break;
            default:
                result += c;
        }
    }
    return result;
}

// XML cannot carry control characters, nor bytes that are not UTF-8 as written.
bool fitsXmlText(const std::string& text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x80) {
            return false;
        }
    }
    return true;
}

std::string uuidText(const UUID& uuid) {
    if (const auto value = uuid.shortValue()) {
        return "0x" + hexDigits(*value, *value <= 0xFFFF ? 4 : 8);
    }
    const auto& bytes = uuid.bytes();
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            text += '-';
        }
        text += hexDigits(bytes[i], 2);
    }
    return text;
}

std::string valueTag(const char* tag, const std::string& value) {
    return std::string("<") + tag + " value=\"" + value + "\"/>";
}

std::string elementXml(const DataElement& element) {
    const int type = element.getDataType();
    const auto text = [&element] { return std::get<std::string>(element.getValue()); };
    const auto bytes = [&element] { return std::get<Bytes>(element.getValue()); };
    switch (type) {
        case DataElement::NULLTYPE:
            return "<nil/>";
        case DataElement::U_INT_1:
            return valueTag("uint8", "0x" + hexDigits(element.getLong(), 2));
        case DataElement::U_INT_2:
            return valueTag("uint16", "0x" + hexDigits(element.getLong(), 4));
        case DataElement::U_INT_4:
            return valueTag("uint32", "0x" + hexDigits(element.getLong(), 8));
        case DataElement::U_INT_8:
            return valueTag("uint64", "0x" + hexBytes(bytes()));
        case DataElement::U_INT_16:
            return valueTag("uint128", hexBytes(bytes()));
        case DataElement::INT_1:
            return valueTag("int8", std::to_string(element.getLong()));
        case DataElement::INT_2:
            return valueTag("int16", std::to_string(element.getLong()));
        case DataElement::INT_4:
            return valueTag("int32", std::to_string(element.getLong()));
        case DataElement::INT_8:
            return valueTag("int64", std::to_string(element.getLong()));
        case DataElement::INT_16:
            return valueTag("int128", hexBytes(bytes()));
        case DataElement::UUID:
            return valueTag("uuid", uuidText(std::get<UUID>(element.getValue())));
        case DataElement::BOOL:
            return valueTag("boolean", element.getBoolean() ? "true" : "false");
        case DataElement::URL:
            return valueTag("url", escaped(text()));
        case DataElement::STRING: {
            const std::string value = text();
            if (fitsXmlText(value)) {
                return valueTag("text", escaped(value));
            }
            return "<text encoding=\"hex\" value=\"" + hexBytes(Bytes(value.begin(), value.end())) +
                   "\"/>";
        }
        case DataElement::DATSEQ:
        case DataElement::DATALT: {
            const char* tag = type == DataElement::DATSEQ ? "sequence" : "alternate";
            std::string xml = std::string("<") + tag + ">";
            element.forEachChild(
                [&xml](const DataElement::Ptr& child) { xml += elementXml(*child); });
            return xml + "</" + tag + ">";
        }
        default:
            throw IOError("service record holds a value of unknown type");
    }
}

}  // namespace

std::string sdpRecordToXml(std::span<const std::uint8_t> record) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<record>\n";
    for (const auto& [id, value] : recordAttributes(record)) {
        if (id == 0x0000) {
            continue;
        }
        xml += "<attribute id=\"0x" + hexDigits(static_cast<std::uint64_t>(id), 4) + "\">" +
               elementXml(*value) + "</attribute>\n";
    }
    return xml + "</record>\n";
}

}  // namespace flarecast::bluetooth::bluez
