#pragma once
// The table pass: reads a page stream and writes "pass2.tmp", the same stream
// with every table laid out as lines of space-padded text. Text outside tables
// is copied through byte for byte; the ten table codes never reach the output.
//
// Each table is read twice: a measuring pass records every cell's length and
// every column's width; at the table's end code the input is sought back to
// the table's start and an output pass writes one line per row, each cell
// padded to its column's width by its alignment code and followed by two
// spaces.
//
// Both files belong to the engine from construction to destruction; the
// destructor closes (and so flushes) them. A file that did not open is never
// read or written: a missing input gives an empty output.

#include <fstream>

#include "tables/table.h"

class table_engine {
public:
    // Opens inputName for reading and creates or truncates "pass2.tmp" in the
    // working directory. Failure to open either is not reported; an input that
    // is not a regular file (a directory, a pipe) is not opened, and an input
    // error ends the input where it happens.
    explicit table_engine(const char* inputName);
    ~table_engine();
    table_engine(const table_engine&) = delete;
    table_engine& operator=(const table_engine&) = delete;

    // Runs the whole pass from the input's current position to its end.
    void write_to_buffer();
    // Empties the buffer: pending text is written, counted or dropped by the
    // current phase, a lone delimiter is interpreted as its table code.
    void write_from_buffer();
    // True for the ten table codes.
    bool if_delimiter(char c) const;
    // Back to copying text outside any table, with empty measurements.
    void reset();

private:
    static constexpr int BUFFER_SIZE = 512;

    void flushText();
    void interpret(unsigned char code);
    void seekBackToTableStart();
    void writeSpaces(int n);
    void write(const char* bytes, int n);

    std::ifstream in;
    std::ofstream out;
    // Bytes of this measuring pass: every byte from the table's start code
    // on, and table codes met outside tables since the last reset. How far
    // the input is sought back when the measuring pass ends.
    int consumed;
    char delimiters[10];
    bool loneDelimiter;  // the buffer's single byte is a code, not text
    int last;            // index of the buffer's last byte; -1 when empty
    char buffer[BUFFER_SIZE];
    bool measuring;  // measuring pass, or outside tables; false in an output pass
    table model;
    int column;     // 1-based cell number within the row; 0 before its first cell
    int cellIndex;  // 1-based position of the current cell in model's length list
    int cellLength;
    int leftPad;
    int rightPad;
    bool alignSet;
    bool inTable;
    bool inRow;
    bool inCell;
};
