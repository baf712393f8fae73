// ringlark-cli log: the call log listed, searched and exported; ringlark-cli
// phonebook: contacts imported and listed.
#include <cstdio>
#include <iostream>

#include "calllog/CallLog.h"
#include "calllog/PhoneBook.h"
#include "cli/CliFormat.h"
#include "cli/Commands.h"
#include "core/Cp1252.h"
#include "core/FileWriting.h"
#include "core/RinglarkError.h"
#include "core/UserMessages.h"

namespace ringlark::cli {

namespace {

std::string LogPath(const std::optional<std::string>& given) {
    if (given) {
        return *given;
    }
    const std::string path = DefaultCallLogPath();
    if (path.empty()) {
        throw TUsageError("no home folder: name the call log with --log");
    }
    return path;
}

// A number, or why there is none ("(private)").
std::string Shown(const std::string& value, const std::string& absent) {
    return !value.empty() || absent.empty() ? value : "(" + absent + ")";
}

// "LOCAL | INPUT | KIND | NUMBER | NAME | CONTACT | MESSAGE TIME | CHECKSUM | DETAILS"
std::string RowLine(const TCallRecord& r) {
    std::string line = LocalText(r.HeardUtc);
    for (const std::string& cell :
         {r.Input, r.Kind, Shown(r.Number, r.NumberAbsent), Shown(r.Name, r.NameAbsent), r.Contact,
          r.MessageTime,
          r.Checksum + (r.Uncertain ? " uncertain" : "") + (r.Refused.empty() ? "" : " refused"),
          r.Details}) {
        line += " | " + cell;
    }
    return line;
}

nlohmann::json RowJson(const TCallRecord& r) {
    return {{"id", r.Id},
            {"heard_utc", r.HeardUtc},
            {"local_time", LocalText(r.HeardUtc)},
            {"input", r.Input},
            {"offset_seconds", r.Offset},
            {"standard", r.Standard},
            {"kind", r.Kind},
            {"number", r.Number},
            {"name", r.Name},
            {"contact", r.Contact},
            {"message_time", r.MessageTime},
            {"number_absent", r.NumberAbsent},
            {"name_absent", r.NameAbsent},
            {"checksum", r.Checksum},
            {"quality", r.Quality ? nlohmann::json(*r.Quality) : nlohmann::json()},
            {"uncertain", r.Uncertain},
            {"bytes", CallBytesText(r)},
            {"details", r.Details},
            {"refused", r.Refused.empty() ? nlohmann::json() : nlohmann::json(r.Refused)}};
}

bool IsUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<uint8_t>(text[i]);
        const std::size_t n = c < 0x80         ? 1
                              : (c >> 5) == 6  ? 2
                              : (c >> 4) == 14 ? 3
                              : (c >> 3) == 30 ? 4
                                               : 0;
        if (n == 0 || i + n > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < n; ++k) {
            if ((static_cast<uint8_t>(text[i + k]) >> 6) != 2) {
                return false;
            }
        }
        i += n;
    }
    return true;
}

}  // namespace

void AddLog(CLI::App& app, TLogArgs& args) {
    auto* log = app.add_subcommand("log", "List and search the call log");
    log->add_option("--since", args.Since,
                    "Calls heard from this time: YYYY-MM-DD [HH:MM[:SS]] local, or UTC ISO 8601");
    log->add_option("--until", args.Until, "Calls heard before this time (a day: to its end)");
    log->add_option("--number", args.Number, "Calls whose number contains these digits");
    log->add_option("--name", args.Name, "Calls whose name or contact contains this text");
    log->add_option("--limit", args.Limit, "Only the latest N")->check(CLI::PositiveNumber);
    auto* json = log->add_flag("--json", args.Json, "One JSON object per call");
    log->add_flag("--csv", args.Csv, "CSV on standard output")->excludes(json);
    log->add_option("--export", args.Export, "Write the calls listed to a CSV file");
    log->add_flag("--force", args.Force, "Replace an existing export file");
    log->add_option("--log", args.Log, "The call log (default: ~/.config/Ringlark/calls.sqlite)");
}

TExitStatus RunLog(const TLogArgs& args) {
    TCallFilter filter;
    if (args.Since) {
        filter.SinceUtc = LocalDateToUtc(*args.Since, false);
        if (!filter.SinceUtc) {
            throw TUsageError("--since: not a date: " + *args.Since);
        }
    }
    if (args.Until) {
        filter.UntilUtc = LocalDateToUtc(*args.Until, true);
        if (!filter.UntilUtc) {
            throw TUsageError("--until: not a date: " + *args.Until);
        }
    }
    filter.Number = args.Number;
    filter.Name = args.Name;
    filter.Limit = args.Limit;
    TCallLog log(LogPath(args.Log), false);
    const std::vector<TCallRecord> rows = log.Find(filter);
    if (args.Export) {
        WriteOutputFile(*args.Export, CallsCsv(rows), args.Force);
        return TExitStatus::Success;
    }
    if (args.Csv) {
        std::cout << CallsCsv(rows);
    } else {
        for (const TCallRecord& r : rows) {
            std::cout << (args.Json ? RowJson(r).dump() : RowLine(r)) << '\n';
        }
    }
    std::cout << std::flush;
    return TExitStatus::Success;
}

CLI::App* AddPhoneBook(CLI::App& app, TPhoneBookArgs& args) {
    auto* book = app.add_subcommand("phonebook", "The phone book: names for the numbers heard");
    book->require_subcommand(1);
    auto* importing = book->add_subcommand("import", "Add the contacts of a vCard or CSV file");
    importing->add_option("FILE", args.File, "A .vcf or .csv file")->required();
    importing->add_option("--national-prefix", args.NationalPrefix,
                          "The trunk prefix of national numbers (default 0)");
    importing->add_option("--country-code", args.CountryCode,
                          "This line's country code, so that +CC numbers match national ones");
    auto* list = book->add_subcommand("list", "List the contacts");
    list->add_flag("--json", args.Json, "One JSON object per contact");
    for (auto* command : {importing, list}) {
        command->add_option("--book", args.Book,
                            "The phone book's file (default: the call log, "
                            "~/.config/Ringlark/calls.sqlite)");
    }
    return book;
}

TExitStatus RunPhoneBook(const CLI::App& phonebook, const TPhoneBookArgs& args) {
    const bool importing = phonebook.got_subcommand("import");
    const std::string path = LogPath(args.Book);
    if (!importing) {
        TCallLog log(path, false);
        TPhoneBook book(log);
        for (const TContact& c : book.List()) {
            std::cout << (args.Json ? nlohmann::json{{"name", c.Name}, {"number", c.Number}}.dump()
                                    : c.Name + " | " + c.Number)
                      << '\n';
        }
        std::cout << std::flush;
        return TExitStatus::Success;
    }
    for (const auto* digits : {&args.NationalPrefix, &args.CountryCode}) {
        if (*digits && digits->value().find_first_not_of("0123456789") != std::string::npos) {
            throw TUsageError("--national-prefix and --country-code take digits only");
        }
    }
    std::string text = ReadRegularFile(args.File, 16 * 1024 * 1024, "16 MB");
    const bool vcard = text.find("BEGIN:VCARD") != std::string::npos ||
                       text.find("begin:vcard") != std::string::npos;
    std::vector<TContact> contacts = vcard ? ParseVcards(text) : ParseContactsCsv(text);
    if (contacts.empty()) {
        throw RinglarkError("No contact with a name and a number in " + args.File);
    }
    for (TContact& c : contacts) {
        if (!IsUtf8(c.Name)) {
            c.Name = Cp1252ToUtf8(c.Name);
        }
    }
    TCallLog log(path, true);
    TPhoneBook book(log);
    if (args.NationalPrefix || args.CountryCode) {
        TNumbering numbering = book.Numbering();
        numbering.NationalPrefix = args.NationalPrefix.value_or(numbering.NationalPrefix);
        numbering.CountryCode = args.CountryCode.value_or(numbering.CountryCode);
        book.SetNumbering(numbering);
    }
    const int added = book.Import(contacts);
    std::cout << added << " of " << contacts.size() << " contacts added to " << path << std::endl;
    return TExitStatus::Success;
}

}  // namespace ringlark::cli
