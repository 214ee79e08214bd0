// The page buffer as a window onto a page longer than a pad can hold: the
// window drawn anew from the layout notes must show exactly what the first
// layout drew, at every boundary (window edges, the last row, an element
// wrapped across an edge), and what moves the view (scrolling, the focus,
// search) must reach every row.

#include <random>

#include "render_fixture.h"

namespace rendertest {
namespace {

constexpr int PAD_ROWS = Rendering_Engine::PAD_ROWS;

class Window : public RenderTest {
protected:
    wexatest::TempDir dir;
};

// An element that draws its text in colour pair 3 where it was placed, as
// the links do.
class DrawingComponent : public FakeComponent {
public:
    explicit DrawingComponent(const std::string& text)
        : FakeComponent(static_cast<short>(text.size())), text(text) {}
    void display() const override {
        ++displays;
        engine().writeToDB(x, y, text.c_str(), 3);
    }
    std::string text;
};

// The cells of page rows first to last as the page buffer holds them now.
std::vector<std::vector<chtype>> cellsOf(int first, int last) {
    std::vector<std::vector<chtype>> rows;
    for (int r = first; r <= last; ++r) {
        std::vector<chtype> cells(Rendering_Engine::PAD_COLUMNS + 1, 0);
        mvwinchnstr(engine().getPad(), r - engine().getBase(), 0, cells.data(),
                    Rendering_Engine::PAD_COLUMNS);
        rows.push_back(cells);
    }
    return rows;
}

// A page of every kind of layout (nested lists numbered and bulleted, bold,
// centred lines, paragraphs longer than a token, elements) long enough for
// several windows.
std::string mixedPage(unsigned seed, int pieces, std::vector<FakeComponent>& elements) {
    std::mt19937 random(seed);
    auto pick = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    std::string s;
    int depth = 0;
    for (int i = 0; i < pieces; ++i) {
        switch (pick(9)) {
            case 0:
                if (depth < 6) {
                    s += pick(2) == 0 ? OL : UL;
                    ++depth;
                }
                break;
            case 1:
                if (depth > 0) {
                    s += pick(2) == 0 ? OL_END : UL_END;
                    --depth;
                }
                break;
            case 2:
                s += LI + "item " + std::to_string(i);
                break;
            case 3:
                s += CENTER + "centred " + std::to_string(i) + CENTER_END;
                break;
            case 4:
                s += BOLD + "bold " + letters(pick(40)) + BOLD_END;
                break;
            case 5:
                if (elements.size() < elements.capacity()) {
                    const short width = static_cast<short>(1 + pick(90));
                    elements.emplace_back(width);
                    table().addComponent(HYPERLINK, &elements.back());
                    s += TAB + std::string(static_cast<std::size_t>(width), 'L') + TAB;
                }
                break;
            case 6:
                s += letters(20 + pick(900)) + " ";
                break;
            default:
                s += "row " + std::to_string(i) + NL;
                break;
        }
    }
    return s;
}

TEST_F(Window, DrawnAnewItShowsWhatTheFirstLayoutDrew) {
    // Several lengths, so that the rows the first layout leaves in the
    // window fall differently against the notes and the window edges.
    for (const int pieces : {2600, 3300, 4100}) {
        SCOPED_TRACE(pieces);
        table().resetAST();
        engine().reset();
        std::vector<FakeComponent> elements;
        elements.reserve(400);
        feedFile(mixedPage(static_cast<unsigned>(pieces), pieces, elements));
        const int last = engine().getRowCount();
        const int firstBase = engine().getBase();
        ASSERT_GE(firstBase, 2 * PAD_ROWS);  // the window moved on at least twice
        const auto drawn = cellsOf(firstBase, last);

        // From a note before the window, across its old start, and back.
        engine().renderWindow(firstBase - 333);
        EXPECT_EQ(cellsOf(firstBase, last), drawn);
        engine().renderWindow(0);
        engine().renderWindow(firstBase);
        EXPECT_EQ(cellsOf(firstBase, last), drawn);
        // Laying out again leaves the page's layout state as it was.
        EXPECT_EQ(engine().getRowCount(), last);

        // Rows drawn from two different notes agree.
        const int middle = firstBase / 2;
        engine().renderWindow(middle);
        const auto once = cellsOf(middle + 100, middle + 400);
        engine().renderWindow(middle + 90);
        EXPECT_EQ(cellsOf(middle + 100, middle + 400), once);
    }
}

TEST_F(Window, EndAndPagingReachTheLastRowAcrossEveryEdge) {
    // The page columns of a screen row, trailing blanks removed.
    auto screenRow = [](int r) {
        std::string text = rowText(r, curscr).substr(1, Rendering_Engine::LINE_WIDTH);
        return text.erase(text.find_last_not_of(' ') + 1);
    };
    for (const int lines : {PAD_ROWS - 1, PAD_ROWS, PAD_ROWS + 1, 2 * PAD_ROWS + 5}) {
        SCOPED_TRACE(lines);
        engine().reset();
        std::string stream;
        for (int i = 0; i < lines; ++i) stream += "L" + std::to_string(i) + NL;
        feedFile(stream);
        engine().scrollText(360);
        // The last line of text on the second last row of the view.
        EXPECT_EQ(screenRow(19), "L" + std::to_string(lines - 1));
        engine().scrollText(262);
        EXPECT_EQ(screenRow(4), "L0");
        // Page by page to the end and back, every view showing its rows.
        int top = 0;
        for (int k = 0; k < lines / 17 + 2; ++k) {
            engine().scrollText(338);
            top = engine().current_displayY();
            if (top < lines) {
                ASSERT_EQ(screenRow(4), "L" + std::to_string(top));
            }
        }
        for (int k = 0; k < lines / 17 + 2; ++k) {
            engine().scrollText(339);
            top = engine().current_displayY();
            ASSERT_EQ(screenRow(4), "L" + std::to_string(top));
            ASSERT_EQ(screenRow(20), "L" + std::to_string(top + 16));
        }
        EXPECT_EQ(top, 0);
        // Line by line over the edge of the window at the top of the page:
        // the view's last row is drawn too when it is the window's last.
        for (int k = 0; k + 17 < lines && k < PAD_ROWS + 20; ++k) {
            engine().scrollText(258);
            ASSERT_EQ(screenRow(20), "L" + std::to_string(k + 17));
        }
    }
}

TEST_F(Window, ElementWrappedAcrossTheWindowEdgeIsDrawnInBoth) {
    DrawingComponent link(std::string(100, 'k'));
    table().addComponent(HYPERLINK, &link);
    // The element begins on the window's last row and wraps onto the next
    // (one wider than a line begins a line of its own).
    feedFile(std::string(PAD_ROWS - 2, '\n') + TAB + link.text + TAB + NL + "after");
    ASSERT_EQ(link.y, PAD_ROWS - 1);
    auto pair = [](int r, int c) { return PAIR_NUMBER(padCell(r, c)); };

    engine().renderWindow(0);
    EXPECT_EQ(pair(PAD_ROWS - 1, 0), 3);
    EXPECT_EQ(pair(PAD_ROWS - 1, 77), 3);
    engine().renderWindow(PAD_ROWS);
    EXPECT_EQ(pair(PAD_ROWS, 0), 3);
    EXPECT_EQ(pair(PAD_ROWS, 21), 3);
    EXPECT_EQ(pair(PAD_ROWS, 22), 0);
    EXPECT_EQ(rowText(PAD_ROWS + 1), "after");
    engine().renderWindow(PAD_ROWS - 10);
    EXPECT_EQ(pair(PAD_ROWS - 1, 0), 3);
    EXPECT_EQ(pair(PAD_ROWS, 21), 3);
}

TEST_F(Window, ElementFarDownIsPlacedAndShownWhenFocused) {
    FakeComponent link(4);
    table().addComponent(HYPERLINK, &link);
    feedFile(std::string(40000, '\n') + "x " + TAB + "LINK" + TAB);
    EXPECT_EQ(link.y, 40000);
    EXPECT_EQ(link.x, 2);
    table().setSelect();
    engine().scrollText(262);
    // As a link taking the focus does: into view, then drawn focused.
    engine().scrollNext_aE();
    engine().writeToDB(link.x, link.getRow(), "LINK", 5);
    EXPECT_EQ(engine().current_displayY(), 40000 - 16);
    EXPECT_EQ(PAIR_NUMBER(padCell(40000, 2)), 5);
    EXPECT_EQ(rowText(20, curscr).find("x LINK"), 1u);
}

TEST_F(Window, SearchFindsTextInEveryWindowAndKeepsItsMark) {
    std::string stream = "first needle" + NL;
    for (int i = 1; i < 30000; ++i) stream += "row" + NL;
    feedFile(stream + "   last needle" + NL + "end");
    engine().scrollText(262);
    ASSERT_TRUE(engine().findText("NEEDLE", false));
    EXPECT_EQ(engine().current_displayY(), 0);
    ASSERT_TRUE(engine().findText("needle", true));
    EXPECT_EQ(engine().current_displayY(), 30001 - 16);
    EXPECT_NE(padCell(30000, 8) & A_REVERSE, 0u);
    // The mark stays on the match when its window is drawn anew.
    engine().renderWindow(0);
    engine().renderWindow(29990);
    EXPECT_NE(padCell(30000, 8) & A_REVERSE, 0u);
    EXPECT_EQ(padCell(30000, 7) & A_REVERSE, 0u);
    // On from the end round to the top.
    ASSERT_TRUE(engine().findText("needle", true));
    EXPECT_EQ(engine().current_displayY(), 0);
    EXPECT_NE(padCell(0, 6) & A_REVERSE, 0u);
    EXPECT_FALSE(engine().findText("nowhere", false));
    EXPECT_EQ(engine().current_displayY(), 0);
}

}  // namespace
}  // namespace rendertest
