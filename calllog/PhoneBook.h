#pragma once

// The phone book: contacts kept in the call log's database (table contacts),
// read from vCard or CSV files. Numbers are compared by a key: digits only,
// with the national prefix and the country code taken off, so that
// "0123 456789", "+44 123 456789" and "0044123456789" are one number when the
// country code is 44 and the national prefix 0.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "calllog/CallLog.h"

namespace ringlark {

struct TNumbering {
    std::string NationalPrefix = "0";
    std::string CountryCode;  // empty: not known, "+CC..." numbers keep their code
};

// The digits of the national number; "+" and the digits for an international
// number of another country; empty for a text with no digit.
std::string NumberKey(std::string_view number, const TNumbering& numbering);

struct TContact {
    std::string Name;    // UTF-8
    std::string Number;  // as written in the file
};

// Every telephone number of every card (FN, else N), folded lines and escapes
// read. Cards without a name or a number are left out.
std::vector<TContact> ParseVcards(std::string_view text);
// A header row that names a name column and a number column ("name",
// "number", "phone", "tel", any case) is used; otherwise the first column is
// the name and the second the number. Quoted fields as in RFC 4180.
std::vector<TContact> ParseContactsCsv(std::string_view text);
// CSV fields as lines: for the importer and the log's export.
std::vector<std::vector<std::string>> CsvRows(std::string_view text);
std::string CsvField(std::string_view value);

class TPhoneBook {
  public:
    explicit TPhoneBook(TCallLog& log);

    TNumbering Numbering();
    // Keeps the numbering and keys every contact by it again.
    void SetNumbering(const TNumbering& numbering);
    // Adds the contacts not there yet (same name and number); returns how many.
    int Import(const std::vector<TContact>& contacts);
    std::vector<TContact> List();
    bool Empty();
    // The contact's name for a number heard; several contacts: joined by " / ".
    std::optional<std::string> NameFor(std::string_view number);

  private:
    TSqlDatabase& db_;
    std::optional<TNumbering> numbering_;
};

}  // namespace ringlark
