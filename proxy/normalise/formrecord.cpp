#include "proxy/normalise/formrecord.h"

#include <cstdint>
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

constexpr unsigned char RECORD_VERSION = 1;
constexpr auto LAST_KIND = static_cast<unsigned char>(FieldRecord::Kind::ImageSubmit);

class RecordWriter {
public:
    void count(std::size_t n) {
        const auto value = static_cast<std::uint32_t>(n);
        for (int shift = 24; shift >= 0; shift -= 8)
            out_.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
    void text(const std::string& value) {
        count(value.size());
        out_.append(value);
    }
    void byte(unsigned char value) { out_.push_back(static_cast<char>(value)); }
    void flag(bool value) { byte(value ? 1 : 0); }
    void kind(FieldRecord::Kind value) { byte(static_cast<unsigned char>(value)); }
    template <typename Item, typename Each>
    void list(const std::vector<Item>& items, Each each) {
        count(items.size());
        for (const Item& item : items) each(item);
    }
    std::string take() { return std::move(out_); }

private:
    std::string out_;
};

// Reads what RecordWriter wrote; every read fails past the end or on a
// value the writer never writes, and a failed reader stays failed.
class RecordReader {
public:
    explicit RecordReader(std::string_view bytes) : rest_(bytes) {}
    void byte(unsigned char& value) {
        if (rest_.empty()) {
            ok_ = false;
            return;
        }
        value = static_cast<unsigned char>(rest_.front());
        rest_.remove_prefix(1);
    }
    void count(std::size_t& value) {
        if (rest_.size() < 4) {
            ok_ = false;
            return;
        }
        std::uint32_t n = 0;
        for (std::size_t i = 0; i < 4; ++i) n = (n << 8) | static_cast<unsigned char>(rest_[i]);
        rest_.remove_prefix(4);
        value = n;
    }
    void text(std::string& value) {
        std::size_t size = 0;
        count(size);
        if (!ok_ || size > rest_.size()) {
            ok_ = false;
            return;
        }
        value.assign(rest_.substr(0, size));
        rest_.remove_prefix(size);
    }
    void flag(bool& value) {
        unsigned char b = 0;
        byte(b);
        if (b > 1) ok_ = false;
        value = b == 1;
    }
    void kind(FieldRecord::Kind& value) {
        unsigned char b = 0;
        byte(b);
        if (b > LAST_KIND) ok_ = false;
        if (ok_) value = static_cast<FieldRecord::Kind>(b);
    }
    // Each item takes at least a byte, so a forged count runs out of input
    // long before it runs out of memory.
    template <typename Item, typename Each>
    void list(std::vector<Item>& items, Each each) {
        std::size_t size = 0;
        count(size);
        for (std::size_t i = 0; i < size && ok_; ++i) {
            Item item;
            each(item);
            items.push_back(std::move(item));
        }
    }
    bool ok() const { return ok_; }
    bool atEnd() const { return rest_.empty(); }

private:
    std::string_view rest_;
    bool ok_ = true;
};

// Every member of a record, in one order for writing and reading: io is a
// RecordWriter (form const) or a RecordReader.
template <typename Io, typename Form>
void everyMember(Io& io, Form& form) {
    io.text(form.action);
    io.flag(form.post);
    io.flag(form.multipart);
    io.text(form.charset);
    io.list(form.fields, [&io](auto& field) {
        io.kind(field.kind);
        io.text(field.name);
        io.text(field.generated);
        io.text(field.value);
        io.text(field.offered);
        io.text(field.choice);
        io.flag(field.checked);
        io.flag(field.readOnly);
        io.flag(field.reachable);
        io.flag(field.multiple);
        io.list(field.options, [&io](auto& option) {
            io.text(option.value);
            io.flag(option.selected);
        });
    });
}

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

std::string formRecordToBytes(const FormRecord& form) {
    RecordWriter out;
    out.byte(RECORD_VERSION);
    everyMember(out, form);
    return out.take();
}

bool formRecordFromBytes(std::string_view bytes, FormRecord& form) {
    RecordReader in(bytes);
    unsigned char version = 0;
    in.byte(version);
    if (!in.ok() || version != RECORD_VERSION) return false;
    form = FormRecord();
    everyMember(in, form);
    return in.ok() && in.atEnd();
}

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
