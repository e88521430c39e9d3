#include "app/bluez_message.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>

#include "core/sightings/hex.h"

namespace quillmote::bluez {

namespace {

// Text past this is cut by the mapping anyway; the rest of a long value is only skipped.
constexpr std::size_t describedLimit = 4096;

bool isBasic(char type) { return type != 0 && std::strchr("ybnqiuxtdsogh", type) != nullptr; }

template <typename T>
int readBasicAs(sd_bus_message* message, char type, T& out) {
    return sd_bus_message_read_basic(message, type, &out);
}

// One basic value of the given type.
int readBasic(sd_bus_message* message, char type, PropertyValue& value) {
    int r = -EBADMSG;
    const auto whole = [&](auto raw) {
        r = readBasicAs(message, type, raw);
        value = {static_cast<std::int64_t>(raw)};
    };
    switch (type) {
        case 'y': whole(std::uint8_t{}); break;
        case 'n': whole(std::int16_t{}); break;
        case 'q': whole(std::uint16_t{}); break;
        case 'i': whole(std::int32_t{}); break;
        case 'u': whole(std::uint32_t{}); break;
        case 'x': whole(std::int64_t{}); break;
        case 'b': {
            int flag = 0;
            r = readBasicAs(message, type, flag);
            value = {flag != 0};
            break;
        }
        case 't': {
            std::uint64_t wide = 0;
            r = readBasicAs(message, type, wide);
            if (wide > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
                value = {PropertyValue::Described{std::to_string(wide)}};
            else
                value = {static_cast<std::int64_t>(wide)};
            break;
        }
        case 'd': {
            double real = 0;
            r = readBasicAs(message, type, real);
            value = {real};
            break;
        }
        case 'h': {
            int descriptor = -1;
            r = readBasicAs(message, type, descriptor);
            value = {PropertyValue::Described{"fd " + std::to_string(descriptor)}};
            break;
        }
        default: {  // s, o, g: text
            const char* text = nullptr;
            r = readBasicAs(message, type, text);
            if (type == 's') value = {std::string(text ? text : "")};
            else value = {PropertyValue::Described{text ? text : ""}};
        }
    }
    return r;
}

int readBytes(sd_bus_message* message, Bytes& bytes) {
    const void* data = nullptr;
    std::size_t size = 0;
    const int r = sd_bus_message_read_array(message, 'y', &data, &size);
    if (r < 0) return r;
    const auto* begin = static_cast<const std::uint8_t*>(data);
    bytes.assign(begin, begin + size);
    return r;
}

// The manufacturer (`a{qv}`) or service-data (`a{sv}`) map: only entries whose value is
// bytes are kept.
template <typename Key, typename Entries>
int readDataMap(sd_bus_message* message, char keyType, Entries& entries) {
    const char entry[] = {keyType, 'v', 0};
    const char array[] = {'{', keyType, 'v', '}', 0};
    int r = sd_bus_message_enter_container(message, 'a', array);
    if (r < 0) return r;
    while ((r = sd_bus_message_enter_container(message, 'e', entry)) > 0) {
        Key key{};
        if ((r = readBasicAs(message, keyType, key)) < 0) return r;
        const char* contents = nullptr;
        if ((r = sd_bus_message_peek_type(message, nullptr, &contents)) < 0) return r;
        if (contents && std::string_view(contents) == "ay") {
            if ((r = sd_bus_message_enter_container(message, 'v', contents)) < 0) return r;
            Bytes bytes;
            if ((r = readBytes(message, bytes)) < 0) return r;
            if ((r = sd_bus_message_exit_container(message)) < 0) return r;
            entries.emplace_back(key, std::move(bytes));
        } else if ((r = sd_bus_message_skip(message, "v")) < 0) {
            return r;
        }
        if ((r = sd_bus_message_exit_container(message)) < 0) return r;
    }
    if (r < 0) return r;
    return sd_bus_message_exit_container(message);
}

// The elements of the container just entered, each described by `element`.
template <typename Element>
int describeElements(sd_bus_message* message, char open, char close, std::string& text, Element element) {
    text += open;
    for (bool first = true;; first = false) {
        int r = sd_bus_message_at_end(message, false);
        if (r < 0) return r;
        if (r > 0) break;
        if (text.size() > describedLimit) {
            r = sd_bus_message_skip(message, nullptr);
        } else {
            if (!first) text += ", ";
            r = element(text);
        }
        if (r < 0) return r;
    }
    text += close;
    return 1;
}

}  // namespace

int describeValue(sd_bus_message* message, std::string& text) {
    char type = 0;
    const char* contents = nullptr;
    int r = sd_bus_message_peek_type(message, &type, &contents);
    if (r <= 0) return r < 0 ? r : -EBADMSG;
    if (isBasic(type)) {
        PropertyValue value;
        if ((r = readBasic(message, type, value)) < 0) return r;
        text += describe(value);
        return r;
    }
    if (type == 'a' && std::string_view(contents) == "y") {
        Bytes bytes;
        if ((r = readBytes(message, bytes)) < 0) return r;
        text += hexString(ByteView(bytes.data(), std::min(bytes.size(), maxDataBytes)));
        return r;
    }
    if ((r = sd_bus_message_enter_container(message, type, contents)) < 0) return r;
    const auto one = [message](std::string& out) { return describeValue(message, out); };
    if (type == 'v') {
        r = describeValue(message, text);
    } else if (type == 'r') {
        r = describeElements(message, '(', ')', text, one);
    } else if (contents[0] == '{') {
        r = describeElements(message, '{', '}', text, [message](std::string& out) {
            const char* entry = nullptr;
            int step = sd_bus_message_peek_type(message, nullptr, &entry);
            if (step < 0 || (step = sd_bus_message_enter_container(message, 'e', entry)) < 0) return step;
            if ((step = describeValue(message, out)) < 0) return step;
            out += ": ";
            if ((step = describeValue(message, out)) < 0) return step;
            return sd_bus_message_exit_container(message);
        });
    } else {
        r = describeElements(message, '[', ']', text, one);
    }
    if (r < 0) return r;
    return sd_bus_message_exit_container(message);
}

int readStrings(sd_bus_message* message, std::vector<std::string>& texts) {
    int r = sd_bus_message_enter_container(message, 'a', "s");
    if (r < 0) return r;
    const char* text = nullptr;
    while ((r = sd_bus_message_read_basic(message, 's', &text)) > 0) texts.emplace_back(text);
    if (r < 0) return r;
    return sd_bus_message_exit_container(message);
}

int readPropertyValue(sd_bus_message* message, PropertyValue& value) {
    char type = 0;
    const char* contents = nullptr;
    int r = sd_bus_message_peek_type(message, &type, &contents);
    if (r <= 0 || type != 'v') return r < 0 ? r : -EBADMSG;
    if ((r = sd_bus_message_enter_container(message, 'v', contents)) < 0) return r;
    const std::string_view signature = contents;
    if (signature.size() == 1 && isBasic(signature[0])) {
        r = readBasic(message, signature[0], value);
    } else if (signature == "ay") {
        Bytes bytes;
        r = readBytes(message, bytes);
        value = {std::move(bytes)};
    } else if (signature == "as") {
        std::vector<std::string> texts;
        r = readStrings(message, texts);
        value = {std::move(texts)};
    } else if (signature == "a{qv}") {
        PropertyValue::CompanyData companies;
        r = readDataMap<std::uint16_t>(message, 'q', companies);
        value = {std::move(companies)};
    } else if (signature == "a{sv}") {
        PropertyValue::KeyedData keyed;
        r = readDataMap<const char*>(message, 's', keyed);
        value = {std::move(keyed)};
    } else {
        PropertyValue::Described described;
        r = describeValue(message, described.text);
        value = {std::move(described)};
    }
    if (r < 0) return r;
    return sd_bus_message_exit_container(message);
}

int readProperties(sd_bus_message* message, DeviceProperties& properties) {
    int r = sd_bus_message_enter_container(message, 'a', "{sv}");
    if (r < 0) return r;
    properties.reserve(properties.size() + 4);
    while ((r = sd_bus_message_enter_container(message, 'e', "sv")) > 0) {
        const char* key = nullptr;
        PropertyValue value;
        if ((r = sd_bus_message_read_basic(message, 's', &key)) < 0) return r;
        if ((r = readPropertyValue(message, value)) < 0) return r;
        if ((r = sd_bus_message_exit_container(message)) < 0) return r;
        properties.emplace_back(key, std::move(value));
    }
    if (r < 0) return r;
    return sd_bus_message_exit_container(message);
}

}  // namespace quillmote::bluez
