#pragma once
// The interface of every active element of a page: links and form controls.
// Pass one builds the controls and stores copies in their lists; pass three
// tells each where it landed (setXY) and has it draw itself (display); the
// active element table drives the focused one through getKey/select. It is
// declared here, beside the table that holds its instances; the controls
// (a layer above) implement it.
//
// Key results of getKey: 9 leave (the focus moves on), 27 to Global mode,
// -1 a link set a new URL, -20 a form was submitted; any other value keeps
// the focus.

class Component {
public:
    virtual ~Component() = default;

    // Handles one key while the control has the focus (see the results above).
    virtual int getKey(int key);
    // Records the page column and page row where the representation begins.
    virtual void setXY(short column, int row);
    // Takes the focus: scroll into view, draw focused, show the help line.
    virtual void select();
    // Draws the control not focused.
    virtual void unselect() const;
    // Width of the representation in columns.
    virtual short getLength() const;
    // Page row recorded by setXY.
    virtual int getRow() const;
    // The text pass one writes into the page stream; owned by the control and
    // valid until the control changes or is destroyed.
    virtual const char* getRepresentation();
    // Screen row hint; stores nothing and returns row + 1.
    virtual int setScreenRow(int row);
    // Draws the control not focused into the page buffer.
    virtual void display() const;
    // Restores the state the HTML gave and redraws.
    virtual void reset();
    // Value and name sent on form submission; null means "not sent". The
    // texts are owned by the control and stay valid until it changes.
    virtual const char* valueOf() const;
    virtual const char* nameOf() const;
};

// Kinds of active elements, in the order of their numeric values.
enum ActiveTypes {
    CHECKBOX = 0,
    COMBO = 1,
    HYPERLINK = 2,
    IMAGE = 3,
    PASSWORD = 4,
    RADIO = 5,
    RESET = 6,
    SUBMIT = 7,
    TEXTBOX = 8,
};
using ActiveType = ActiveTypes;

// Key-result codes shared by the controls, the table and the key handler.
inline constexpr int KEY_RESULT_LEAVE = 9;
inline constexpr int KEY_RESULT_ESCAPE = 27;
inline constexpr int KEY_RESULT_PAGE_CHANGE = -1;
inline constexpr int KEY_RESULT_SUBMITTED = -20;
