#include "proxy/normalise/formrecord.h"

#include <cstdlib>
#include <unordered_map>

#include "proxy/normalise/charset.h"

namespace wexaproxy {

std::size_t FormRecord::bytes() const {
    std::size_t total = sizeof(FormRecord) + action.size() + charset.size();
    for (const FieldRecord& field : fields) {
        total += sizeof(FieldRecord) + field.name.size() + field.generated.size() + field.value.size() +
                 field.offered.size() + field.choice.size();
        for (const OptionRecord& option : field.options) total += sizeof(OptionRecord) + option.value.size();
    }
    return total;
}

namespace {

// A text area's line breaks go out as CR LF, as browsers send them.
std::string withCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (text[i] == '\n') {
            out += "\r\n";
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// The default option of a list: every selected option of a multiple list;
// for a single list the last selected one, or else the first.
std::vector<const OptionRecord*> defaultOptions(const FieldRecord& field) {
    std::vector<const OptionRecord*> chosen;
    for (const OptionRecord& option : field.options) {
        if (!option.selected) continue;
        if (!field.multiple) chosen.clear();
        chosen.push_back(&option);
    }
    if (chosen.empty() && !field.multiple && !field.options.empty()) chosen.push_back(&field.options.front());
    return chosen;
}

// The option a generated value names, or null.
const OptionRecord* optionOf(const FieldRecord& field, const std::string& generated) {
    if (generated.empty() || generated.size() > 6) return nullptr;
    for (char c : generated) {
        if (c < '0' || c > '9') return nullptr;
    }
    const auto index = static_cast<std::size_t>(std::strtoul(generated.c_str(), nullptr, 10));
    return index < field.options.size() ? &field.options[index] : nullptr;
}

}  // namespace

std::vector<FormField> restoreFields(const FormRecord& form, const std::vector<FormField>& sent) {
    std::unordered_map<std::string, const std::string*> received;
    for (const FormField& field : sent) received[field.name] = &field.value;
    auto sentFor = [&](const FieldRecord& field) -> const std::string* {
        if (!field.reachable || field.generated.empty()) return nullptr;
        auto found = received.find(field.generated);
        return found == received.end() ? nullptr : found->second;
    };

    std::vector<FormField> out;
    // Record values are UTF-8; what the user typed arrives as the terminal
    // sent it, and is converted when it is UTF-8.
    auto fromPage = [&](const std::string& name, const std::string& value) {
        out.push_back({encodeFromUtf8(name, form.charset), encodeFromUtf8(value, form.charset)});
    };
    auto fromUser = [&](const std::string& name, const std::string& value) {
        std::string converted = isValidUtf8(value) ? encodeFromUtf8(value, form.charset) : value;
        out.push_back({encodeFromUtf8(name, form.charset), std::move(converted)});
    };

    bool submitSeen = false;
    for (const FieldRecord& field : form.fields) {
        using Kind = FieldRecord::Kind;
        if (field.kind == Kind::Submit || field.kind == Kind::ImageSubmit) {
            // The browser does not say which button was pressed: the first
            // one counts, as when a form is sent with Enter.
            if (submitSeen) continue;
            submitSeen = true;
            if (field.name.empty()) continue;
            if (field.kind == Kind::Submit) {
                fromPage(field.name, field.value);
            } else {
                fromPage(field.name + ".x", "0");
                fromPage(field.name + ".y", "0");
            }
            continue;
        }
        if (field.name.empty()) continue;
        const std::string* value = sentFor(field);
        switch (field.kind) {
            case Kind::Hidden:
                fromPage(field.name, field.value);
                break;
            case Kind::Text:
            case Kind::TextArea: {
                const bool textArea = field.kind == Kind::TextArea;
                if (!field.reachable || field.readOnly || (value != nullptr && *value == field.offered)) {
                    fromPage(field.name, textArea ? withCrLf(field.value) : field.value);
                } else if (value != nullptr) {
                    fromUser(field.name, *value);
                } else {
                    // The browser leaves out a field it holds empty.
                    fromPage(field.name, "");
                }
                break;
            }
            case Kind::Password:
                // The browser never shows a password's default: a field the
                // user did not touch sends it.
                if (value != nullptr) {
                    fromUser(field.name, *value);
                } else {
                    fromPage(field.name, field.value);
                }
                break;
            case Kind::Checkbox:
                if (field.reachable ? (value != nullptr && !value->empty()) : field.checked)
                    fromPage(field.name, field.value);
                break;
            case Kind::Radio:
                if (field.reachable ? (value != nullptr && *value == field.choice) : field.checked)
                    fromPage(field.name, field.value);
                break;
            case Kind::Select: {
                if (value != nullptr && *value == NO_OPTION_VALUE) break;
                const OptionRecord* chosen = value != nullptr ? optionOf(field, *value) : nullptr;
                // A multiple list left as offered sends all its selected
                // options; the browser can show only one of them.
                if (chosen == nullptr || (field.multiple && *value == field.choice)) {
                    for (const OptionRecord* option : defaultOptions(field))
                        fromPage(field.name, option->value);
                } else {
                    fromPage(field.name, chosen->value);
                }
                break;
            }
            case Kind::Submit:
            case Kind::ImageSubmit:
                break;
        }
    }
    return out;
}

}  // namespace wexaproxy
