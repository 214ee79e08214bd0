#include "proxy/normalise/forms.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "proxy/normalise/charset.h"
#include "proxy/normalise/dom.h"
#include "proxy/normalise/walker.h"

namespace wexaproxy {

namespace {

// Columns the browser gives a text or password field.
constexpr int TEXT_FIELD_WIDTH = 20;
// Columns of a checkbox or a radio button.
constexpr int BOX_WIDTH = 3;

// The text of an option, as a desktop browser shows it.
std::string optionText(const GumboNode* option) {
    const char* label = attribute(option->v.element, "label");
    if (label != nullptr && hasText(label)) return label;
    std::string text;
    for (unsigned i = 0; i < option->v.element.children.length; ++i) {
        const GumboNode* child = childAt(option->v.element.children, i);
        if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE ||
            child->type == GUMBO_NODE_CDATA)
            text += child->v.text.text;
    }
    return text;
}

}  // namespace

std::string offeredWord(std::string_view utf8Value, std::size_t maxLength) {
    std::string ascii = toAscii(utf8Value);
    std::string word;
    word.reserve(std::min(ascii.size(), maxLength));
    std::size_t start = 0;
    std::size_t end = ascii.size();
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; };
    while (start < end && blank(ascii[start])) ++start;
    while (end > start && blank(ascii[end - 1])) --end;
    for (std::size_t i = start; i < end && word.size() < maxLength; ++i) {
        const char c = ascii[i];
        if (blank(c) || c == '=' || c == '>') {
            word.push_back('_');
        } else if (c == '"') {
            word.push_back('\'');
        } else {
            word.push_back(c);
        }
    }
    return word;
}

FormBuilder::FormBuilder(WalkState& state, Walker& walker, std::string pageUrl, std::string charset)
    : state_(state), walker_(walker), pageUrl_(std::move(pageUrl)), charset_(std::move(charset)) {}

FormBuilder::Build* FormBuilder::ownerOf(const GumboElement& element) {
    const char* formId = attribute(element, "form");
    if (formId != nullptr) {
        auto found = formsById_.find(formId);
        return found != formsById_.end() ? found->second : nullptr;
    }
    return current_;
}

bool FormBuilder::partsFull(std::size_t more) {
    if (parts_ + more <= state_.settings.maxFormParts) return false;
    state_.stop(WalkStop::Forms);
    return true;
}

void FormBuilder::addField(Build* owner, const std::string& formId, FieldRecord field) {
    if (owner == nullptr && formId.empty()) return;
    const std::size_t parts = 1 + field.options.size();
    if (partsFull(parts)) return;
    parts_ += parts;
    state_.built += sizeof(FieldRecord) + field.name.size() + field.value.size() + field.offered.size() +
                    field.options.size() * sizeof(OptionRecord);
    if (owner != nullptr) {
        owner->record.fields.push_back(std::move(field));
    } else if (!formId.empty()) {
        // The form comes later in the page.
        field.reachable = false;
        field.generated.clear();
        waitingForForm_[formId].push_back(std::move(field));
    }
}

// Whether a control of owner can be shown as a live control: the browser
// makes controls members of the form whose FORM tag is open.
bool FormBuilder::controlShown(const Build* owner) const {
    return owner != nullptr && owner == current_ && owner->open && !state_.capReached();
}

void FormBuilder::openForm(Build& build) {
    std::string tag =
        "<FORM ACTION=" + slotMark(build.id) + " METHOD=" + (build.record.post ? "POST" : "GET") + ">";
    state_.out->silentTag(tag);
    build.open = true;
    current_ = &build;
    lastOpened_ = &build;
}

void FormBuilder::closeForm() {
    Build* build = current_;
    if (build == nullptr) return;
    // A form without a button is sent with Enter in a desktop browser; this
    // browser needs a button to send it.
    if (!build->hasSubmit && build->hasTextField && !state_.capReached()) {
        state_.out->space();
        buttonElement("SUBMIT", "Submit");
        build->hasSubmit = true;
    }
    state_.out->silentTag("</FORM>");
    build->open = false;
    current_ = nullptr;
    danglingScope_ = nullptr;
}

void FormBuilder::closeOpenForm() {
    while (current_ != nullptr) closeForm();
}

void FormBuilder::addRecords(std::vector<TokenStore::Entry>& entries) {
    // Controls that name a form the page never had are not sent.
    for (Build& build : forms_) {
        TokenStore::Entry entry;
        entry.id = build.id;
        entry.form = std::make_shared<const FormRecord>(std::move(build.record));
        entries.push_back(std::move(entry));
    }
}

const GumboNode* FormBuilder::enterTable(const GumboNode* table) {
    const GumboNode* enclosing = currentTable_;
    currentTable_ = table;
    return enclosing;
}

void FormBuilder::leaveTable(const GumboNode* table, const GumboNode* enclosing) {
    currentTable_ = enclosing;
    if (danglingScope_ == table && current_ != nullptr) closeForm();
}

void FormBuilder::form(const GumboNode* node) {
    const GumboElement& element = node->v.element;
    if (current_ != nullptr) {
        // A form left open by a table ends where the next one starts.
        if (danglingScope_ != nullptr) {
            closeForm();
        } else {
            walker_.children(node);
            return;
        }
    }
    if (!startForm(element)) return;
    walker_.children(node);
    // The parser leaves a form opened between the rows of a table empty and
    // puts its controls in the cells: it stays open to the end of the table.
    const GumboNode* parent = node->parent;
    const bool inTableStructure =
        parent != nullptr && (isElement(parent, GUMBO_TAG_TABLE) || isElement(parent, GUMBO_TAG_TBODY) ||
                              isElement(parent, GUMBO_TAG_THEAD) || isElement(parent, GUMBO_TAG_TFOOT) ||
                              isElement(parent, GUMBO_TAG_TR));
    if (element.children.length == 0 && inTableStructure && currentTable_ != nullptr) {
        danglingScope_ = currentTable_;
        return;
    }
    closeForm();
    state_.out->blockBreak();
}

bool FormBuilder::openAround(const GumboNode* node) {
    if (current_ != nullptr) return false;
    return startForm(node->v.element);
}

void FormBuilder::closeAround() {
    closeForm();
    state_.out->blockBreak();
}

bool FormBuilder::startForm(const GumboElement& element) {
    if (forms_.size() >= state_.settings.maxForms) {
        state_.stop(WalkStop::Forms);
        return false;
    }
    forms_.emplace_back();
    Build& build = forms_.back();
    // The form's token is issued when the page goes to a client.
    build.id = state_.newSlot();
    build.record.post = lowerAttribute(element, "method") == "post";
    build.record.multipart = lowerAttribute(element, "enctype") == "multipart/form-data";
    const char* action = attribute(element, "action");
    if (action == nullptr || !hasText(action)) {
        // No action: the form goes back to the page itself (not to a BASE).
        build.record.action = pageUrl_;
    } else {
        const UrlResolver::Result target = state_.resolver.resolve(action);
        if (target.kind == UrlResolver::Kind::Web) build.record.action = target.url;
    }
    build.record.charset = charset_;
    if (const char* accepted = attribute(element, "accept-charset")) {
        // The first charset named that this machine knows.
        std::string labels(accepted);
        for (char& c : labels) {
            if (c == ',') c = ' ';
        }
        std::size_t at = 0;
        while (at < labels.size()) {
            const std::size_t end = std::min(labels.find(' ', at), labels.size());
            const std::string name = canonicalCharset(labels.substr(at, end - at));
            if (!name.empty()) {
                build.record.charset = name;
                break;
            }
            at = end + 1;
        }
    }
    if (const char* id = attribute(element, "id")) {
        formsById_[id] = &build;
        auto waiting = waitingForForm_.find(id);
        if (waiting != waitingForForm_.end()) {
            for (FieldRecord& field : waiting->second) build.record.fields.push_back(std::move(field));
            waitingForForm_.erase(waiting);
        }
    }
    state_.out->blockBreak();
    openForm(build);
    return true;
}

// The one text field of the browser, for text inputs, text areas (the
// browser has no field of several lines) and, with type PASSWORD, password
// fields: a generated name, the default as offered (VALUE last: the
// browser's word buffer is shorter than a long last word may be), and the
// hint in front when nothing is offered.
void FormBuilder::textField(Build& owner, FieldRecord& field, const GumboElement& element,
                            std::string_view type) {
    field.generated = newName();
    if (field.offered.empty()) hint(element);
    std::string html = "<INPUT TYPE=";
    html += type;
    html += " NAME=" + field.generated;
    if (!field.offered.empty()) html += " VALUE=" + field.offered;
    html += ">";
    state_.out->element(html, TEXT_FIELD_WIDTH);
    ++state_.elements;
    owner.hasTextField = true;
}

// A SUBMIT or RESET button showing label (one word).
void FormBuilder::buttonElement(std::string_view type, const std::string& label) {
    std::string html = "<INPUT TYPE=";
    html += type;
    html += " VALUE=" + label + ">";
    state_.out->element(html, static_cast<int>(label.size()));
    ++state_.elements;
}

void FormBuilder::input(const GumboNode* node) {
    const GumboElement& element = node->v.element;
    std::string type = lowerAttribute(element, "type");
    if (type.empty()) type = "text";
    const std::string name = attributeText(element, "name");
    const char* valueText = attribute(element, "value");
    const std::string value = valueText != nullptr ? valueText : "";
    const std::string formId = attributeText(element, "form");
    Build* owner = ownerOf(element);
    const bool disabled = hasAttribute(element, "disabled") || disabledDepth_ > 0;

    FieldRecord field;
    field.name = name;
    if (type == "hidden") {
        field.kind = FieldRecord::Kind::Hidden;
        field.value = value;
        if (!disabled) addField(owner, formId, std::move(field));
        return;
    }
    if (type == "button" || type == "file") return;  // scripted, or beyond this browser

    const bool shown = controlShown(owner) && !disabled;
    if (type == "submit" || type == "image" || type == "reset") {
        std::string label = type == "image" ? attributeText(element, "alt") : value;
        if (!hasText(label)) label = type == "reset" ? "Reset" : "Submit";
        const std::string word = offeredWord(label, MAX_BUTTON_LABEL);
        // The browser gives a button to the form it opened last.
        const bool live = owner != nullptr && owner == lastOpened_ && !disabled && !state_.capReached();
        if (type == "reset") {
            if (live) buttonElement("RESET", word);
            return;
        }
        field.kind = type == "image" ? FieldRecord::Kind::ImageSubmit : FieldRecord::Kind::Submit;
        field.value = value;
        if (disabled) return;
        firstButton(owner, element);
        if (live) {
            buttonElement("SUBMIT", word);
            owner->hasSubmit = true;
        }
        addField(owner, formId, std::move(field));
        return;
    }

    if (owner == nullptr && formId.empty()) return;  // belongs to no form: nothing to send it with
    if (disabled) {
        if (type == "checkbox" || type == "radio") {
            const bool checked = hasAttribute(element, "checked");
            state_.out->text(type == "checkbox" ? (checked ? "[X]" : "[ ]") : (checked ? "(*)" : "( )"));
        } else if (type != "password" && hasText(value)) {
            state_.out->text(toAscii(value, state_.language()));
        }
        return;
    }
    field.reachable = shown;
    if (type == "checkbox") {
        field.kind = FieldRecord::Kind::Checkbox;
        field.value = valueText != nullptr ? value : "on";
        field.checked = hasAttribute(element, "checked");
        if (shown) {
            field.generated = newName();
            state_.out->element("<INPUT TYPE=CHECKBOX NAME=" + field.generated + " VALUE=1" +
                                    (field.checked ? " CHECKED>" : ">"),
                                BOX_WIDTH);
            ++state_.elements;
        }
    } else if (type == "radio") {
        field.kind = FieldRecord::Kind::Radio;
        field.value = valueText != nullptr ? value : "on";
        bool checked = hasAttribute(element, "checked");
        if (owner != nullptr) {
            // One button of a group is checked: the first that says so.
            bool& groupChecked = owner->radioChecked[name];
            if (groupChecked) checked = false;
            if (checked) groupChecked = true;
        }
        field.checked = checked;
        if (shown) {
            auto group = owner->radioNames.find(name);
            if (group == owner->radioNames.end()) group = owner->radioNames.emplace(name, newName()).first;
            field.generated = group->second;
            field.choice = std::to_string(owner->nextChoice++);
            state_.out->element("<INPUT TYPE=RADIO NAME=" + field.generated + " VALUE=" + field.choice +
                                    (checked ? " CHECKED>" : ">"),
                                BOX_WIDTH);
            ++state_.elements;
        }
    } else if (type == "password") {
        field.kind = FieldRecord::Kind::Password;
        field.value = value;
        if (shown) textField(*owner, field, element, "PASSWORD");
    } else {
        // Text, search, e-mail, number, date ... and types this browser does
        // not know: a text box, as a desktop browser falls back to.
        field.kind = FieldRecord::Kind::Text;
        field.value = value;
        field.offered = offeredWord(value, MAX_OFFERED_VALUE);
        field.readOnly = hasAttribute(element, "readonly");
        if (shown) {
            textField(*owner, field, element, "TEXTBOX");
        } else if (hasText(value)) {
            state_.out->text(toAscii(value, state_.language()));
        }
    }
    addField(owner, formId, std::move(field));
}

void FormBuilder::select(const GumboNode* node) {
    const GumboElement& element = node->v.element;
    const std::string formId = attributeText(element, "form");
    Build* owner = ownerOf(element);
    if (owner == nullptr && formId.empty()) return;
    const bool disabled = hasAttribute(element, "disabled") || disabledDepth_ > 0;

    FieldRecord field;
    field.kind = FieldRecord::Kind::Select;
    field.name = attributeText(element, "name");
    field.multiple = hasAttribute(element, "multiple");
    std::vector<std::string> texts;
    std::vector<const GumboNode*> pending;
    for (unsigned i = element.children.length; i > 0; --i)
        pending.push_back(childAt(element.children, i - 1));
    while (!pending.empty()) {
        const GumboNode* at = pending.back();
        pending.pop_back();
        if (at->type != GUMBO_NODE_ELEMENT) continue;
        const GumboElement& child = at->v.element;
        if (child.tag == GUMBO_TAG_OPTGROUP) {
            if (hasAttribute(child, "disabled")) continue;
            for (unsigned i = child.children.length; i > 0; --i)
                pending.push_back(childAt(child.children, i - 1));
            continue;
        }
        if (child.tag != GUMBO_TAG_OPTION) continue;
        if (partsFull(field.options.size() + 2)) return;
        const bool selected = hasAttribute(child, "selected");
        if (hasAttribute(child, "disabled") && !selected) continue;
        const std::string text = optionText(at);
        OptionRecord option;
        option.value = attribute(child, "value") != nullptr ? attribute(child, "value") : collapsed(text);
        option.selected = selected;
        field.options.push_back(std::move(option));
        std::string shownText = singleToken(toAscii(text, state_.language()), MAX_OPTION_TEXT);
        texts.push_back(shownText.empty() ? "-" : shownText);
    }
    if (field.options.empty()) return;  // nothing to choose, nothing sent

    // The option shown at first: a single list shows its last selected
    // option (or the first), a multiple list its first selected one.
    int shownIndex = -1;
    for (std::size_t i = 0; i < field.options.size(); ++i) {
        if (field.options[i].selected && (!field.multiple || shownIndex < 0))
            shownIndex = static_cast<int>(i);
    }
    if (shownIndex < 0 && !field.multiple) shownIndex = 0;

    if (disabled) {
        if (shownIndex >= 0) state_.out->text(texts[static_cast<std::size_t>(shownIndex)]);
        return;
    }
    field.reachable = controlShown(owner);
    if (field.reachable) {
        field.generated = newName();
        std::string html = "<SELECT NAME=" + field.generated + ">";
        int width = 0;
        if (shownIndex < 0) {
            // A multiple list with nothing selected may send nothing.
            html += "<OPTION VALUE=" + std::string(NO_OPTION_VALUE) + " SELECTED>-";
            field.choice = NO_OPTION_VALUE;
            width = 1;
        }
        for (std::size_t i = 0; i < texts.size(); ++i) {
            html += "<OPTION VALUE=" + std::to_string(i);
            if (static_cast<int>(i) == shownIndex) {
                html += " SELECTED";
                field.choice = std::to_string(i);
            }
            html += ">" + texts[i];
            width = std::max(width, static_cast<int>(texts[i].size()));
        }
        html += "</SELECT>";
        state_.out->element(html, width);
        ++state_.elements;
    } else if (shownIndex >= 0) {
        state_.out->text(texts[static_cast<std::size_t>(shownIndex)]);
    }
    addField(owner, formId, std::move(field));
}

void FormBuilder::textArea(const GumboNode* node) {
    const GumboElement& element = node->v.element;
    const std::string formId = attributeText(element, "form");
    Build* owner = ownerOf(element);
    if (owner == nullptr && formId.empty()) return;
    std::string text;
    for (unsigned i = 0; i < element.children.length; ++i) {
        const GumboNode* child = childAt(element.children, i);
        if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE ||
            child->type == GUMBO_NODE_CDATA)
            text += child->v.text.text;
    }
    if (hasAttribute(element, "disabled") || disabledDepth_ > 0) {
        state_.out->text(toAscii(text, state_.language()));
        return;
    }
    FieldRecord field;
    field.kind = FieldRecord::Kind::TextArea;
    field.name = attributeText(element, "name");
    field.value = text;
    field.offered = offeredWord(text, MAX_OFFERED_VALUE);
    field.readOnly = hasAttribute(element, "readonly");
    field.reachable = controlShown(owner);
    if (field.reachable) {
        textField(*owner, field, element, "TEXTBOX");
    } else {
        state_.out->text(toAscii(text, state_.language()));
    }
    addField(owner, formId, std::move(field));
}

void FormBuilder::button(const GumboNode* node) {
    const GumboElement& element = node->v.element;
    std::string type = lowerAttribute(element, "type");
    if (type.empty()) type = "submit";
    if (type != "submit" && type != "reset") return;  // scripted buttons do nothing here
    const std::string formId = attributeText(element, "form");
    Build* owner = ownerOf(element);
    if (owner == nullptr || hasAttribute(element, "disabled") || disabledDepth_ > 0) return;
    std::string label = flatText(node, false, state_.language());
    if (!hasText(label)) {
        const char* named = attribute(element, "aria-label");
        if (named == nullptr) named = attribute(element, "title");
        label = named != nullptr ? toAscii(named, state_.language()) : "";
    }
    if (!hasText(label)) label = type == "reset" ? "Reset" : "Submit";
    const std::string word = offeredWord(label, MAX_BUTTON_LABEL);
    const bool live = owner == lastOpened_ && !state_.capReached();
    if (type == "reset") {
        if (live) buttonElement("RESET", word);
        return;
    }
    FieldRecord field;
    field.kind = FieldRecord::Kind::Submit;
    field.name = attributeText(element, "name");
    field.value = attributeText(element, "value");
    firstButton(owner, element);
    if (live) {
        buttonElement("SUBMIT", word);
        owner->hasSubmit = true;
    }
    addField(owner, formId, std::move(field));
}

void FormBuilder::label(const GumboNode* node) {
    if (const char* target = attribute(node->v.element, "for")) labelledIds_.insert(target);
    ++labelDepth_;
    walker_.children(node);
    --labelDepth_;
}

// What an empty field without a label is for: a desktop browser shows its
// placeholder inside it; here it stands in front of it.
void FormBuilder::hint(const GumboElement& element) {
    if (labelDepth_ > 0) return;
    const char* id = attribute(element, "id");
    if (id != nullptr && labelledIds_.count(id) != 0) return;
    const char* text = attribute(element, "placeholder");
    if (text == nullptr || !hasText(text)) text = attribute(element, "aria-label");
    if (text == nullptr || !hasText(text)) text = attribute(element, "title");
    if (text == nullptr || !hasText(text)) return;
    state_.out->text(toAscii(text, state_.language()));
    state_.out->space();
}

// The form is sent as its first submit button says: the browser cannot
// tell which button was pressed, so the first one counts, with the action,
// method and encoding it may set for itself.
void FormBuilder::firstButton(Build* owner, const GumboElement& element) {
    if (owner == nullptr || owner->submitRecorded) return;
    owner->submitRecorded = true;
    if (const char* action = attribute(element, "formaction")) {
        const UrlResolver::Result target = state_.resolver.resolve(action);
        owner->record.action = target.kind == UrlResolver::Kind::Web ? target.url : std::string();
    }
    if (hasAttribute(element, "formmethod"))
        owner->record.post = lowerAttribute(element, "formmethod") == "post";
    if (hasAttribute(element, "formenctype"))
        owner->record.multipart = lowerAttribute(element, "formenctype") == "multipart/form-data";
}

void FormBuilder::hiddenControls(const GumboNode* node) {
    std::vector<const GumboNode*> pending{node};
    while (!pending.empty()) {
        const GumboNode* at = pending.back();
        pending.pop_back();
        if (at->type != GUMBO_NODE_ELEMENT) continue;
        const GumboElement& element = at->v.element;
        if (element.tag == GUMBO_TAG_TEMPLATE || element.tag == GUMBO_TAG_FORM) continue;
        const bool control = element.tag == GUMBO_TAG_INPUT || element.tag == GUMBO_TAG_SELECT ||
                             element.tag == GUMBO_TAG_TEXTAREA;
        if (!control) {
            for (unsigned i = element.children.length; i > 0; --i)
                pending.push_back(childAt(element.children, i - 1));
            continue;
        }
        const char* name = attribute(element, "name");
        if (name == nullptr || hasAttribute(element, "disabled")) continue;
        const std::string formId = attributeText(element, "form");
        Build* owner = ownerOf(element);
        FieldRecord field;
        field.name = name;
        field.reachable = false;
        const char* value = attribute(element, "value");
        if (element.tag == GUMBO_TAG_INPUT) {
            const std::string type = lowerAttribute(element, "type");
            if (type == "submit" || type == "image" || type == "reset" || type == "button" || type == "file")
                continue;
            if (type == "checkbox" || type == "radio") {
                field.kind = type == "checkbox" ? FieldRecord::Kind::Checkbox : FieldRecord::Kind::Radio;
                field.value = value != nullptr ? value : "on";
                field.checked = hasAttribute(element, "checked");
            } else {
                field.kind = type == "hidden" ? FieldRecord::Kind::Hidden : FieldRecord::Kind::Text;
                field.value = value != nullptr ? value : "";
            }
        } else if (element.tag == GUMBO_TAG_TEXTAREA) {
            field.kind = FieldRecord::Kind::TextArea;
            for (unsigned i = 0; i < element.children.length; ++i) {
                const GumboNode* child = childAt(element.children, i);
                if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE)
                    field.value += child->v.text.text;
            }
        } else {
            field.kind = FieldRecord::Kind::Select;
            field.multiple = hasAttribute(element, "multiple");
            std::vector<const GumboNode*> options{at};
            while (!options.empty()) {
                const GumboNode* option = options.back();
                options.pop_back();
                if (option->type != GUMBO_NODE_ELEMENT) continue;
                if (option->v.element.tag == GUMBO_TAG_OPTION) {
                    if (partsFull(field.options.size() + 2)) return;
                    OptionRecord record;
                    const char* optionValue = attribute(option->v.element, "value");
                    record.value = optionValue != nullptr ? optionValue : collapsed(optionText(option));
                    record.selected = hasAttribute(option->v.element, "selected");
                    field.options.push_back(std::move(record));
                    continue;
                }
                const GumboVector& list = option->v.element.children;
                for (unsigned i = list.length; i > 0; --i) options.push_back(childAt(list, i - 1));
            }
        }
        addField(owner, formId, std::move(field));
    }
}

}  // namespace wexaproxy
