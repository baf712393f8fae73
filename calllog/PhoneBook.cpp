#include "calllog/PhoneBook.h"

#include <algorithm>
#include <cctype>

namespace ringlark {

namespace {

bool StartsWith(std::string_view text, std::string_view head) {
    return !head.empty() && text.substr(0, head.size()) == head;
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

// A vCard value with \n, \, \; and \\ read.
std::string Unescaped(std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            const char next = value[++i];
            out += next == 'n' || next == 'N' ? ' ' : next;
        } else {
            out += value[i];
        }
    }
    return out;
}

// "Doe;John;;;" as "John Doe".
std::string NameFromN(std::string_view value) {
    std::vector<std::string> parts;
    std::string part;
    for (std::size_t i = 0; i <= value.size(); ++i) {
        if (i == value.size() || (value[i] == ';' && (i == 0 || value[i - 1] != '\\'))) {
            parts.push_back(Trimmed(Unescaped(part)));
            part.clear();
        } else {
            part += value[i];
        }
    }
    std::string name;
    for (std::size_t i :
         {std::size_t{3}, std::size_t{1}, std::size_t{2}, std::size_t{0}, std::size_t{4}}) {
        if (i < parts.size() && !parts[i].empty()) {
            name += (name.empty() ? "" : " ") + parts[i];
        }
    }
    return name;
}

}  // namespace

std::string NumberKey(std::string_view number, const TNumbering& numbering) {
    std::string digits;
    bool international = false;
    for (char c : number) {
        if (std::isdigit(static_cast<unsigned char>(c)) != 0) {
            digits += c;
        } else if (c == '+' && digits.empty()) {
            international = true;
        }
    }
    if (!international && StartsWith(digits, "00")) {
        international = true;
        digits.erase(0, 2);
    }
    if (international) {
        if (StartsWith(digits, numbering.CountryCode)) {
            // "+44 (0)1234 ...": the prefix written after the code is dropped too
            digits.erase(0, numbering.CountryCode.size());
            return StartsWith(digits, numbering.NationalPrefix)
                       ? digits.substr(numbering.NationalPrefix.size())
                       : digits;
        }
        return digits.empty() ? "" : "+" + digits;
    }
    if (StartsWith(digits, numbering.NationalPrefix)) {
        return digits.substr(numbering.NationalPrefix.size());
    }
    return digits;
}

std::vector<TContact> ParseVcards(std::string_view text) {
    // Unfolded lines: a line that starts with a space or tab goes on the last.
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at <= text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string line(text.substr(at, end - at));
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty() && (line[0] == ' ' || line[0] == '\t') && !lines.empty()) {
            lines.back() += line.substr(1);
        } else {
            lines.push_back(line);
        }
        at = end + 1;
    }
    std::vector<TContact> contacts;
    std::string fn, n;
    std::vector<std::string> numbers;
    for (const std::string& line : lines) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        std::string property = Lower(line.substr(0, line.find_first_of(";:")));
        if (const auto dot = property.find('.'); dot != std::string::npos) {
            property.erase(0, dot + 1);  // "item1.tel"
        }
        const std::string value = line.substr(colon + 1);
        if (property == "begin") {
            fn.clear();
            n.clear();
            numbers.clear();
        } else if (property == "fn") {
            fn = Trimmed(Unescaped(value));
        } else if (property == "n") {
            n = NameFromN(value);
        } else if (property == "tel") {
            std::string number = Trimmed(Unescaped(value));
            if (StartsWith(Lower(number), "tel:")) {
                number.erase(0, 4);
            }
            numbers.push_back(number);
        } else if (property == "end") {
            const std::string name = fn.empty() ? n : fn;
            for (const std::string& number : numbers) {
                if (!name.empty() && !number.empty()) {
                    contacts.push_back({name, number});
                }
            }
            numbers.clear();
        }
    }
    return contacts;
}

std::vector<std::vector<std::string>> CsvRows(std::string_view text) {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    bool quoted = false, any = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = any = true;
        } else if (c == ',') {
            row.push_back(std::move(field));
            field.clear();
            any = true;
        } else if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            if (any || !field.empty()) {
                row.push_back(std::move(field));
                rows.push_back(std::move(row));
            }
            row.clear();
            field.clear();
            any = false;
        } else {
            field += c;
        }
    }
    if (any || !field.empty()) {
        row.push_back(std::move(field));
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string CsvField(std::string_view value) {
    if (value.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(value);
    }
    std::string out = "\"";
    for (char c : value) {
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return out + "\"";
}

std::vector<TContact> ParseContactsCsv(std::string_view text) {
    if (StartsWith(text, "\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    const auto rows = CsvRows(text);
    std::size_t nameColumn = 0, numberColumn = 1, first = 0;
    if (!rows.empty()) {
        std::optional<std::size_t> name, number;
        for (std::size_t i = 0; i < rows[0].size(); ++i) {
            const std::string title = Lower(Trimmed(rows[0][i]));
            if (!name && title.find("name") != std::string::npos) {
                name = i;
            } else if (!number && (title.find("number") != std::string::npos ||
                                   title.find("phone") != std::string::npos ||
                                   title.find("tel") != std::string::npos)) {
                number = i;
            }
        }
        if (name && number) {
            nameColumn = *name;
            numberColumn = *number;
            first = 1;
        }
    }
    std::vector<TContact> contacts;
    for (std::size_t r = first; r < rows.size(); ++r) {
        const auto& row = rows[r];
        if (std::max(nameColumn, numberColumn) >= row.size()) {
            continue;
        }
        TContact c{Trimmed(row[nameColumn]), Trimmed(row[numberColumn])};
        if (!c.Name.empty() && !c.Number.empty()) {
            contacts.push_back(std::move(c));
        }
    }
    return contacts;
}

TPhoneBook::TPhoneBook(TCallLog& log) : db_(log.Database()) {}

TNumbering TPhoneBook::Numbering() {
    if (numbering_) {
        return *numbering_;
    }
    TNumbering numbering;
    TSqlStatement select(db_,
                         "SELECT key, value FROM settings WHERE key IN "
                         "('national_prefix', 'country_code')");
    while (select.Step()) {
        (select.Text(0) == "national_prefix" ? numbering.NationalPrefix : numbering.CountryCode) =
            select.Text(1);
    }
    numbering_ = numbering;
    return numbering;
}

void TPhoneBook::SetNumbering(const TNumbering& numbering) {
    db_.Execute("BEGIN IMMEDIATE");
    try {
        TSqlStatement put(db_, "INSERT OR REPLACE INTO settings (key, value) VALUES (?, ?)");
        for (const auto& [key, value] : {std::pair{"national_prefix", numbering.NationalPrefix},
                                         std::pair{"country_code", numbering.CountryCode}}) {
            put.Reset();
            put.Bind(1, std::optional<std::string>(key));
            put.Bind(2, std::optional<std::string>(value));
            put.Step();
        }
        std::vector<std::pair<int64_t, std::string>> rekeyed;
        TSqlStatement select(db_, "SELECT id, number FROM contacts");
        while (select.Step()) {
            rekeyed.emplace_back(select.Integer(0), NumberKey(select.Text(1), numbering));
        }
        TSqlStatement update(db_, "UPDATE contacts SET number_key = ? WHERE id = ?");
        for (const auto& [id, key] : rekeyed) {
            update.Reset();
            update.Bind(1, std::optional<std::string>(key));
            update.Bind(2, id);
            update.Step();
        }
        db_.Execute("COMMIT");
    } catch (...) {
        db_.Execute("ROLLBACK");
        throw;
    }
    numbering_ = numbering;
}

int TPhoneBook::Import(const std::vector<TContact>& contacts) {
    const TNumbering numbering = Numbering();
    int added = 0;
    db_.Execute("BEGIN IMMEDIATE");
    try {
        TSqlStatement exists(db_, "SELECT 1 FROM contacts WHERE name = ? AND number = ?");
        TSqlStatement insert(db_,
                             "INSERT INTO contacts (name, number, number_key) VALUES (?, ?, ?)");
        for (const TContact& c : contacts) {
            exists.Reset();
            exists.Bind(1, std::optional<std::string>(c.Name));
            exists.Bind(2, std::optional<std::string>(c.Number));
            if (exists.Step()) {
                continue;
            }
            insert.Reset();
            insert.Bind(1, std::optional<std::string>(c.Name));
            insert.Bind(2, std::optional<std::string>(c.Number));
            insert.Bind(3, std::optional<std::string>(NumberKey(c.Number, numbering)));
            insert.Step();
            ++added;
        }
        db_.Execute("COMMIT");
    } catch (...) {
        db_.Execute("ROLLBACK");
        throw;
    }
    return added;
}

std::vector<TContact> TPhoneBook::List() {
    std::vector<TContact> contacts;
    TSqlStatement select(db_, "SELECT name, number FROM contacts ORDER BY name, number, id");
    while (select.Step()) {
        contacts.push_back({select.Text(0), select.Text(1)});
    }
    return contacts;
}

bool TPhoneBook::Empty() {
    return db_.IntegerOf("SELECT count(*) FROM contacts") == 0;
}

std::optional<std::string> TPhoneBook::NameFor(std::string_view number) {
    const std::string key = NumberKey(number, Numbering());
    if (key.empty()) {
        return std::nullopt;
    }
    TSqlStatement select(db_,
                         "SELECT DISTINCT name FROM contacts WHERE number_key = ? ORDER BY name");
    select.Bind(1, std::optional<std::string>(key));
    std::string names;
    while (select.Step()) {
        names += (names.empty() ? "" : " / ") + select.Text(0);
    }
    return names.empty() ? std::nullopt : std::optional<std::string>(names);
}

}  // namespace ringlark
