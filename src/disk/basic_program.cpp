#include "disk/basic_program.h"

#include <charconv>
#include <cstring>

#include "disk/volume_header.h"
#include "printable.h"

namespace {

// The token bytes that have a meaning of their own in a line.
constexpr uint8_t ELSE = 0x81;
constexpr uint8_t SEPARATOR = 0x82;    // ::
constexpr uint8_t TAIL_REMARK = 0x83;  // !
constexpr uint8_t GO = 0x85;
constexpr uint8_t GOTO = 0x86;
constexpr uint8_t GOSUB = 0x87;
constexpr uint8_t DATA = 0x93;
constexpr uint8_t RESTORE = 0x94;
constexpr uint8_t REM = 0x9A;
constexpr uint8_t CALL = 0x9D;
constexpr uint8_t SUB = 0xA1;
constexpr uint8_t IMAGE = 0xA3;
constexpr uint8_t RUN = 0xA9;
constexpr uint8_t THEN = 0xB0;
constexpr uint8_t TO = 0xB1;
constexpr uint8_t COMMA = 0xB3;
constexpr uint8_t QUOTED = 0xC7;
constexpr uint8_t UNQUOTED = 0xC8;
constexpr uint8_t LINE_NUMBER = 0xC9;

struct Token {
    uint8_t value;
    const char* text;
};

// Every keyword and operator, as the TI lists it.
constexpr Token TOKENS[] = {
    {0x81, "ELSE"},       {0x82, "::"},        {0x83, "!"},        {0x84, "IF"},
    {0x85, "GO"},         {0x86, "GOTO"},      {0x87, "GOSUB"},    {0x88, "RETURN"},
    {0x89, "DEF"},        {0x8A, "DIM"},       {0x8B, "END"},      {0x8C, "FOR"},
    {0x8D, "LET"},        {0x8E, "BREAK"},     {0x8F, "UNBREAK"},  {0x90, "TRACE"},
    {0x91, "UNTRACE"},    {0x92, "INPUT"},     {0x93, "DATA"},     {0x94, "RESTORE"},
    {0x95, "RANDOMIZE"},  {0x96, "NEXT"},      {0x97, "READ"},     {0x98, "STOP"},
    {0x99, "DELETE"},     {0x9A, "REM"},       {0x9B, "ON"},       {0x9C, "PRINT"},
    {0x9D, "CALL"},       {0x9E, "OPTION"},    {0x9F, "OPEN"},     {0xA0, "CLOSE"},
    {0xA1, "SUB"},        {0xA2, "DISPLAY"},   {0xA3, "IMAGE"},    {0xA4, "ACCEPT"},
    {0xA5, "ERROR"},      {0xA6, "WARNING"},   {0xA7, "SUBEXIT"},  {0xA8, "SUBEND"},
    {0xA9, "RUN"},        {0xAA, "LINPUT"},    {0xB0, "THEN"},     {0xB1, "TO"},
    {0xB2, "STEP"},       {0xB3, ","},         {0xB4, ";"},        {0xB5, ":"},
    {0xB6, ")"},          {0xB7, "("},         {0xB8, "&"},        {0xBA, "OR"},
    {0xBB, "AND"},        {0xBC, "XOR"},       {0xBD, "NOT"},      {0xBE, "="},
    {0xBF, "<"},          {0xC0, ">"},         {0xC1, "+"},        {0xC2, "-"},
    {0xC3, "*"},          {0xC4, "/"},         {0xC5, "^"},        {0xCA, "EOF"},
    {0xCB, "ABS"},        {0xCC, "ATN"},       {0xCD, "COS"},      {0xCE, "EXP"},
    {0xCF, "INT"},        {0xD0, "LOG"},       {0xD1, "SGN"},      {0xD2, "SIN"},
    {0xD3, "SQR"},        {0xD4, "TAN"},       {0xD5, "LEN"},      {0xD6, "CHR$"},
    {0xD7, "RND"},        {0xD8, "SEG$"},      {0xD9, "POS"},      {0xDA, "VAL"},
    {0xDB, "STR$"},       {0xDC, "ASC"},       {0xDD, "PI"},       {0xDE, "REC"},
    {0xDF, "MAX"},        {0xE0, "MIN"},       {0xE1, "RPT$"},     {0xE8, "NUMERIC"},
    {0xE9, "DIGIT"},      {0xEA, "UALPHA"},    {0xEB, "SIZE"},     {0xEC, "ALL"},
    {0xED, "USING"},      {0xEE, "BEEP"},      {0xEF, "ERASE"},    {0xF0, "AT"},
    {0xF1, "BASE"},       {0xF3, "VARIABLE"},  {0xF4, "RELATIVE"}, {0xF5, "INTERNAL"},
    {0xF6, "SEQUENTIAL"}, {0xF7, "OUTPUT"},    {0xF8, "UPDATE"},   {0xF9, "APPEND"},
    {0xFA, "FIXED"},      {0xFB, "PERMANENT"}, {0xFC, "TAB"},      {0xFD, "#"},
    {0xFE, "VALIDATE"},
};

const char* token_text(uint8_t value) {
    for (const Token& token : TOKENS) {
        if (token.value == value) return token.text;
    }
    return nullptr;
}

bool is_letter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '@' || c == '_';
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// How a listing's element stands beside the next: a blank goes between a keyword and a name,
// number, string or keyword next to it, between two of those that would read as one (a line
// number and a constant after it) and between two colons, before # after a keyword, and on
// each side of ::.
enum class Shape : uint8_t { start, keyword, word, mark, separator };

bool blank_between(Shape before, Shape next, bool next_is_hash) {
    if (before == Shape::start) return false;
    if (before == Shape::separator || next == Shape::separator) return true;
    if (next_is_hash) return before == Shape::keyword;
    if (before == Shape::keyword) return next == Shape::keyword || next == Shape::word;
    return before == Shape::word && (next == Shape::keyword || next == Shape::word);
}

// A listing line being made, cut at its end.
class ListingLine {
  public:
    void add(const char* text, size_t length, Shape shape, bool hash = false) {
        const bool separator_made = length_ > 0 && text_[length_ - 1] == ':' && *text == ':';
        if (blank_between(last_, shape, hash) || separator_made) put(' ');
        for (size_t i = 0; i < length; ++i) put(text[i]);
        last_ = shape;
    }
    void add(const char* text, Shape shape) { add(text, std::strlen(text), shape, *text == '#'); }
    void put(char c) {
        if (length_ < sizeof text_) text_[length_++] = c;
    }
    const char* text() const { return text_; }
    size_t length() const { return length_; }

  private:
    char text_[4096] = {};
    size_t length_ = 0;
    Shape last_ = Shape::start;
};

// Walks a line's tokens: false where one is not whole or not known. With line, lists them.
bool walk_tokens(const uint8_t* tokens, size_t count, ListingLine* line) {
    for (size_t i = 0; i < count;) {
        const uint8_t b = tokens[i];
        if (b < 0x80) {  // a name's characters
            size_t end = i;
            while (end < count && tokens[end] < 0x80 && is_printable(tokens[end])) ++end;
            if (end == i) return false;
            if (line != nullptr) {
                line->add(reinterpret_cast<const char*>(tokens + i), end - i, Shape::word);
            }
            i = end;
            continue;
        }
        if (b == REM || b == TAIL_REMARK) {  // the rest of the line, as it is
            if (line == nullptr) return true;
            line->add(token_text(b), Shape::keyword);
            if (i + 1 < count) line->put(' ');
            for (size_t k = i + 1; k < count; ++k) line->put(printable(tokens[k]));
            return true;
        }
        if (b == QUOTED || b == UNQUOTED) {
            if (i + 1 >= count || i + 2 + tokens[i + 1] > count) return false;
            if (line != nullptr) {
                ListingLine text;  // a string's own characters, its inner quotes doubled
                if (b == QUOTED) text.put('"');
                for (size_t k = 0; k < tokens[i + 1]; ++k) {
                    const char c = printable(tokens[i + 2 + k]);
                    text.put(c);
                    if (b == QUOTED && c == '"') text.put('"');
                }
                if (b == QUOTED) text.put('"');
                line->add(text.text(), text.length(), Shape::word);
            }
            i += 2 + tokens[i + 1];
            continue;
        }
        if (b == LINE_NUMBER) {
            if (i + 3 > count) return false;
            if (line != nullptr) {
                char digits[8] = {};
                const char* end = std::to_chars(digits, digits + 7, be16(tokens + i + 1)).ptr;
                line->add(digits, static_cast<size_t>(end - digits), Shape::word);
            }
            i += 3;
            continue;
        }
        const char* text = token_text(b);
        if (text == nullptr) return false;
        if (line != nullptr) {
            const bool alphabetic = is_letter(*text);
            line->add(text, b == SEPARATOR ? Shape::separator
                            : alphabetic   ? Shape::keyword
                                           : Shape::mark);
        }
        ++i;
    }
    return true;
}

// The program's lines as its header and table place them.
class ProgramView {
  public:
    explicit ProgramView(std::span<const uint8_t> bytes) : bytes_(bytes) {
        if (bytes.size() < PROGRAM_HEADER_BYTES) return;
        const uint32_t check = be16(bytes.data());
        table_end_ = be16(bytes.data() + 2);
        start_ = be16(bytes.data() + 4);
        top_ = be16(bytes.data() + 6);
        const uint32_t table = table_end_ + 1 - start_;
        whole_ = check == (table_end_ ^ start_) && start_ <= table_end_ && table_end_ < top_ &&
                 table % 4 == 0 && PROGRAM_HEADER_BYTES + (top_ - start_ + 1) <= bytes.size();
        lines_ = whole_ ? table / 4 : 0;
        for (uint32_t i = 0; whole_ && i < lines_; ++i) whole_ = line_whole(i);
    }

    bool whole() const { return whole_; }
    uint32_t lines() const { return lines_; }
    // Line i of the table (0: the highest number): its number, tokens and their count.
    uint32_t number(uint32_t i) const { return be16(at(start_ + 4 * i)); }
    const uint8_t* tokens(uint32_t i) const { return at(be16(at(start_ + 4 * i + 2))); }
    size_t token_count(uint32_t i) const { return *(tokens(i) - 1) - 1u; }

  private:
    const uint8_t* at(uint32_t address) const {
        return bytes_.data() + PROGRAM_HEADER_BYTES + (address - start_);
    }
    bool line_whole(uint32_t i) const {
        const uint32_t line = number(i);
        if (line == 0 || line > LAST_LINE_NUMBER) return false;
        if (i > 0 && line >= number(i - 1)) return false;  // highest number first
        const uint32_t first = be16(at(start_ + 4 * i + 2));
        if (first <= table_end_ + 1 || first > top_) return false;
        const uint32_t length = *at(first - 1);
        if (length == 0 || first + length - 1 > top_ || *at(first + length - 1) != 0) return false;
        return walk_tokens(at(first), length - 1, nullptr);
    }

    std::span<const uint8_t> bytes_;
    uint32_t table_end_ = 0;
    uint32_t start_ = 0;
    uint32_t top_ = 0;
    uint32_t lines_ = 0;
    bool whole_ = false;
};

// A line of a listing made into tokens.
class LineTokens {
  public:
    LineTokens(const char* text, size_t length) : text_(text), end_(text + length) {}

    ListingFault read(uint32_t& number);
    const uint8_t* bytes() const { return out_; }
    size_t count() const { return count_; }

  private:
    void skip_blanks() {
        while (text_ < end_ && *text_ == ' ') ++text_;
    }
    bool put(uint8_t byte) {
        if (count_ == MOST_LINE_BYTES - 1) return false;
        out_[count_++] = byte;
        return true;
    }
    bool put_string(uint8_t kind, const char* text, size_t length);
    ListingFault quoted();
    ListingFault read_number(bool line_number);
    ListingFault data();
    ListingFault word(uint8_t before);
    bool rest_as_it_is();

    const char* text_;
    const char* end_;
    uint8_t out_[MOST_LINE_BYTES] = {};
    size_t count_ = 0;
    uint8_t previous_ = 0;      // the token before, for GO TO and GO SUB
    bool line_number_ = false;  // a number here names a line
    bool list_ = false;         // after GOTO or GOSUB: a comma goes on to another line number
    bool done_ = false;
};

bool LineTokens::put_string(uint8_t kind, const char* text, size_t length) {
    if (length > 0xFF || !put(kind) || !put(static_cast<uint8_t>(length))) return false;
    for (size_t i = 0; i < length; ++i) {
        if (!put(static_cast<uint8_t>(text[i]))) return false;
    }
    return true;
}

ListingFault LineTokens::quoted() {
    char text[MOST_LINE_BYTES] = {};
    size_t length = 0;
    for (++text_;; ++text_) {
        if (text_ == end_) return ListingFault::open_string;
        if (*text_ == '"' && (text_ + 1 == end_ || text_[1] != '"')) break;
        if (*text_ == '"') ++text_;  // a doubled quote stands for one
        if (length == sizeof text) return ListingFault::too_long;
        text[length++] = *text_;
    }
    ++text_;
    return put_string(QUOTED, text, length) ? ListingFault::none : ListingFault::too_long;
}

ListingFault LineTokens::read_number(bool line_number) {
    const char* from = text_;
    while (text_ < end_ && is_digit(*text_)) ++text_;
    if (line_number) {
        uint32_t value = 0;
        const auto [after, error] = std::from_chars(from, text_, value);
        if (error != std::errc() || after != text_ || value > LAST_LINE_NUMBER) {
            return ListingFault::number_range;
        }
        const bool fits = put(LINE_NUMBER) && put(static_cast<uint8_t>(value >> 8)) &&
                          put(static_cast<uint8_t>(value));
        return fits ? ListingFault::none : ListingFault::too_long;
    }
    if (text_ < end_ && *text_ == '.') {
        ++text_;
        while (text_ < end_ && is_digit(*text_)) ++text_;
    }
    const bool sign = text_ + 1 < end_ && (text_[1] == '+' || text_[1] == '-');
    const char* digits = text_ + (sign ? 2 : 1);
    if (text_ < end_ && (*text_ == 'E' || *text_ == 'e') && digits < end_ && is_digit(*digits)) {
        text_ = digits;
        while (text_ < end_ && is_digit(*text_)) ++text_;
    }
    const auto length = static_cast<size_t>(text_ - from);
    return put_string(UNQUOTED, from, length) ? ListingFault::none : ListingFault::too_long;
}

// DATA's items: each a quoted string, or the text up to the next comma without the blanks
// around it.
ListingFault LineTokens::data() {
    skip_blanks();
    if (text_ == end_) return ListingFault::none;
    for (;;) {
        skip_blanks();
        if (text_ < end_ && *text_ == '"') {
            if (const ListingFault fault = quoted(); fault != ListingFault::none) return fault;
            skip_blanks();
            while (text_ < end_ && *text_ != ',') {
                if (!put(static_cast<uint8_t>(*text_++))) return ListingFault::too_long;
            }
        } else {
            const char* from = text_;
            while (text_ < end_ && *text_ != ',') ++text_;
            const char* last = text_;
            while (last > from && last[-1] == ' ') --last;
            if (!put_string(UNQUOTED, from, static_cast<size_t>(last - from))) {
                return ListingFault::too_long;
            }
        }
        if (text_ == end_) return ListingFault::none;
        ++text_;
        if (!put(COMMA)) return ListingFault::too_long;
    }
}

// The rest of the line after REM or !, but the one blank that parts it from the keyword.
bool LineTokens::rest_as_it_is() {
    if (text_ < end_ && *text_ == ' ') ++text_;
    for (; text_ < end_; ++text_) {
        if (!put(static_cast<uint8_t>(*text_))) return false;
    }
    done_ = true;
    return true;
}

// A keyword, or a name's characters; what follows some keywords is read their way.
ListingFault LineTokens::word(uint8_t before) {
    const char* from = text_;
    while (text_ < end_ && (is_letter(*text_) || is_digit(*text_))) ++text_;
    if (text_ < end_ && *text_ == '$') ++text_;
    const auto length = static_cast<size_t>(text_ - from);
    uint8_t value = 0;
    for (const Token& token : TOKENS) {
        size_t same = 0;  // compared by hand: the Windows programs import no memcmp
        while (same < length && token.text[same] == from[same]) ++same;
        if (same == length && token.text[length] == '\0') value = token.value;
    }
    if (value == 0) {
        for (const char* c = from; c < text_; ++c) {
            if (!put(static_cast<uint8_t>(*c))) return ListingFault::too_long;
        }
        return ListingFault::none;
    }
    if (!put(value)) return ListingFault::too_long;
    const bool after_go = before == GO && (value == TO || value == SUB);
    previous_ = value;
    line_number_ = value == GOTO || value == GOSUB || value == THEN || value == ELSE ||
                   value == RESTORE || value == RUN || after_go;
    list_ = value == GOTO || value == GOSUB || after_go;
    switch (value) {
        case REM:
            return rest_as_it_is() ? ListingFault::none : ListingFault::too_long;
        case DATA:
            done_ = true;
            return data();
        case IMAGE: {
            skip_blanks();
            if (text_ < end_ && *text_ == '"') return quoted();
            const char* last = end_;
            while (last > text_ && last[-1] == ' ') --last;
            const bool fits = put_string(UNQUOTED, text_, static_cast<size_t>(last - text_));
            text_ = end_;
            return fits ? ListingFault::none : ListingFault::too_long;
        }
        case CALL: {
            skip_blanks();
            const char* name = text_;
            while (text_ < end_ && (is_letter(*text_) || is_digit(*text_))) ++text_;
            const auto named = static_cast<size_t>(text_ - name);
            if (named == 0) return ListingFault::none;
            return put_string(UNQUOTED, name, named) ? ListingFault::none : ListingFault::too_long;
        }
        default:
            return ListingFault::none;
    }
}

ListingFault LineTokens::read(uint32_t& number) {
    skip_blanks();
    const char* from = text_;
    while (text_ < end_ && is_digit(*text_)) ++text_;
    if (text_ == from) return ListingFault::no_number;
    const auto [after, error] = std::from_chars(from, text_, number);
    if (error != std::errc() || number == 0 || number > LAST_LINE_NUMBER) {
        return ListingFault::number_range;
    }
    while (!done_) {
        skip_blanks();
        if (text_ == end_) break;
        const char c = *text_;
        const bool line_number = line_number_;
        const bool list = list_;
        const uint8_t before = previous_;
        line_number_ = list_ = false;
        previous_ = 0;
        ListingFault fault = ListingFault::none;
        if (c == '"') {
            fault = quoted();
        } else if (is_digit(c) || (c == '.' && text_ + 1 < end_ && is_digit(text_[1]))) {
            fault = read_number(line_number && is_digit(c));
            list_ = list;
        } else if (c == ',' && list) {
            fault = put(COMMA) ? ListingFault::none : ListingFault::too_long;
            ++text_;
            line_number_ = list_ = true;
        } else if (is_letter(c)) {
            fault = word(before);
        } else if (c == ':' && text_ + 1 < end_ && text_[1] == ':') {
            text_ += 2;
            fault = put(SEPARATOR) ? ListingFault::none : ListingFault::too_long;
        } else if (c == '!') {
            ++text_;
            fault =
                put(TAIL_REMARK) && rest_as_it_is() ? ListingFault::none : ListingFault::too_long;
        } else {
            uint8_t value = static_cast<uint8_t>(c);  // a mark, or else a character of its own
            for (const Token& token : TOKENS) {
                if (token.text[0] == c && token.text[1] == '\0') value = token.value;
            }
            ++text_;
            fault = put(value) ? ListingFault::none : ListingFault::too_long;
        }
        if (fault != ListingFault::none) return fault;
    }
    return ListingFault::none;
}

}  // namespace

bool is_basic_program(std::span<const uint8_t> bytes) {
    return ProgramView(bytes).whole();
}

bool list_program(std::span<const uint8_t> bytes,
                  FunctionRef<void(const char* line, size_t length)> each) {
    const ProgramView program(bytes);
    if (!program.whole()) return false;
    for (uint32_t i = program.lines(); i-- > 0;) {
        ListingLine line;
        char digits[8] = {};
        const char* end = std::to_chars(digits, digits + 7, program.number(i)).ptr;
        for (const char* c = digits; c < end; ++c) line.put(*c);
        if (program.token_count(i) > 0) line.put(' ');
        walk_tokens(program.tokens(i), program.token_count(i), &line);
        each(line.text(), line.length());
    }
    return true;
}

ListingFault ProgramWriter::add_line(const char* text, size_t length) {
    bool blank = true;
    for (size_t i = 0; i < length; ++i) {
        if (!is_printable(static_cast<uint8_t>(text[i]))) return ListingFault::not_text;
        blank = blank && text[i] == ' ';
    }
    if (blank) return ListingFault::none;
    LineTokens tokens(text, length);
    uint32_t number = 0;
    if (const ListingFault fault = tokens.read(number); fault != ListingFault::none) return fault;
    for (uint32_t i = 0; i < line_count_; ++i) {
        if (lines_[i].number == number) return ListingFault::number_twice;
    }
    const size_t bytes = tokens.count() + 1;  // and the 0
    if (program_bytes_ + 4 + 1 + bytes > MOST_PROGRAM_BYTES || line_count_ == MOST_LINES) {
        return ListingFault::too_large;
    }
    std::memcpy(tokens_ + token_bytes_, tokens.bytes(), tokens.count());
    tokens_[token_bytes_ + tokens.count()] = 0;
    lines_[line_count_++] = {static_cast<uint16_t>(number), static_cast<uint16_t>(token_bytes_),
                             static_cast<uint16_t>(bytes)};
    token_bytes_ += bytes;
    program_bytes_ += 4 + 1 + bytes;
    return ListingFault::none;
}

void ProgramWriter::finish(std::span<uint8_t> out, size_t& length) const {
    // The lines in the table's order, highest number first.
    uint16_t order[MOST_LINES] = {};
    for (uint32_t i = 0; i < line_count_; ++i) {
        uint32_t at = i;
        for (; at > 0 && lines_[order[at - 1]].number < lines_[i].number; --at) {
            order[at] = order[at - 1];
        }
        order[at] = static_cast<uint16_t>(i);
    }
    const uint32_t start = PROGRAM_TOP + 1 - static_cast<uint32_t>(program_bytes_);
    const uint32_t table_end = start + 4 * line_count_ - 1;
    const auto word = [&](size_t at, uint32_t value) {
        out[at] = static_cast<uint8_t>(value >> 8);
        out[at + 1] = static_cast<uint8_t>(value);
    };
    word(0, table_end ^ start);
    word(2, table_end);
    word(4, start);
    word(6, PROGRAM_TOP);
    size_t at = PROGRAM_HEADER_BYTES + 4 * line_count_;  // the lines follow the table
    for (uint32_t k = 0; k < line_count_; ++k) {
        const Line& line = lines_[order[k]];
        word(PROGRAM_HEADER_BYTES + 4 * k, line.number);
        word(PROGRAM_HEADER_BYTES + 4 * k + 2,
             static_cast<uint32_t>(start + (at + 1 - PROGRAM_HEADER_BYTES)));
        out[at] = static_cast<uint8_t>(line.length);
        std::memcpy(out.data() + at + 1, tokens_ + line.at, line.length);
        at += 1 + line.length;
    }
    length = at;
}
