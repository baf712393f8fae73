// The phone book: numbers compared across their written forms, vCard and CSV
// files read, contacts kept in the call log's database.
#include <gtest/gtest.h>

#include "calllog/PhoneBook.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

TEST(NumberKey, NationalAndInternationalFormsOfOneNumberMatch) {
    const TNumbering uk{"0", "44"};
    for (const char* form : {"01234 567890", "+44 1234 567890", "0044 1234-567890",
                             "(01234) 567 890", "+44 (0)1234 567890"}) {
        SCOPED_TRACE(form);
        EXPECT_EQ(NumberKey(form, uk), "1234567890");
    }
    // another country keeps its code; no country code known: international as is
    EXPECT_EQ(NumberKey("+33 1 23 45 67 89", uk), "+33123456789");
    EXPECT_EQ(NumberKey("+44 1234 567890", TNumbering{"0", ""}), "+441234567890");
    EXPECT_EQ(NumberKey("01234 567890", TNumbering{"0", ""}), "1234567890");
    // North America: 1 is both the prefix and the code
    const TNumbering nanp{"1", "1"};
    EXPECT_EQ(NumberKey("1-800-555-1212", nanp), "8005551212");
    EXPECT_EQ(NumberKey("+1 (800) 555-1212", nanp), "8005551212");
    EXPECT_EQ(NumberKey("8005551212", nanp), "8005551212");
    EXPECT_EQ(NumberKey("P", nanp), "");
}

TEST(PhoneBookFiles, ReadsVcards) {
    const auto contacts = ParseVcards(
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:John\r\n  Doe\r\nN:Doe;John;;;\r\n"
        "TEL;TYPE=CELL:+1 800 555 1212\r\nitem1.TEL:tel:555-0100\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\nN:O'Neil;Ann\\, Jr.;;Dr.;\nTEL:0123\nEND:VCARD\n"
        "BEGIN:VCARD\nFN:No Number\nEND:VCARD\n");
    ASSERT_EQ(contacts.size(), 3u);
    EXPECT_EQ(contacts[0].Name, "John Doe");
    EXPECT_EQ(contacts[0].Number, "+1 800 555 1212");
    EXPECT_EQ(contacts[1].Name, "John Doe");
    EXPECT_EQ(contacts[1].Number, "555-0100");
    EXPECT_EQ(contacts[2].Name, "Dr. Ann, Jr. O'Neil");
    EXPECT_EQ(contacts[2].Number, "0123");
}

TEST(PhoneBookFiles, ReadsCsvWithOrWithoutAHeader) {
    const auto withHeader = ParseContactsCsv(
        "\xEF\xBB\xBFId,Phone Number,Display Name\r\n1,555-0100,\"Smith, \"\"Jo\"\"\"\r\n"
        "2,,Nobody\r\n3,0777\n");
    ASSERT_EQ(withHeader.size(), 1u);
    EXPECT_EQ(withHeader[0].Name, "Smith, \"Jo\"");
    EXPECT_EQ(withHeader[0].Number, "555-0100");
    const auto plain = ParseContactsCsv("Ann,0123\n\"Line\nTwo\",456");
    ASSERT_EQ(plain.size(), 2u);
    EXPECT_EQ(plain[1].Name, "Line\nTwo");
    EXPECT_EQ(plain[1].Number, "456");
    EXPECT_EQ(CsvField("a,\"b\""), "\"a,\"\"b\"\"\"");
    EXPECT_EQ(CsvField("plain"), "plain");
}

TEST(PhoneBook, FindsTheContactOfANumberHeardInAnyForm) {
    test::TTempDir dir;
    TCallLog log((dir / "c.sqlite").string(), true);
    TPhoneBook book(log);
    EXPECT_TRUE(book.Empty());
    EXPECT_EQ(book.Import({{"Ann", "+44 1234 567890"}, {"Bob", "0207 946 0000"}}), 2);
    // the same again is not added twice
    EXPECT_EQ(book.Import({{"Ann", "+44 1234 567890"}, {"Ann B", "01234567890"}}), 1);
    // the default numbering: national prefix 0, no country code
    EXPECT_EQ(book.NameFor("01234567890"), "Ann B");
    EXPECT_EQ(book.NameFor("02079460000"), "Bob");
    book.SetNumbering({"0", "44"});
    EXPECT_EQ(book.NameFor("01234567890"), "Ann / Ann B");
    EXPECT_EQ(book.NameFor("1234567890"), "Ann / Ann B");
    EXPECT_EQ(book.NameFor("+442079460000"), "Bob");
    EXPECT_EQ(book.NameFor("0207946000"), std::nullopt);
    EXPECT_EQ(book.NameFor(""), std::nullopt);
    // kept in the file
    TCallLog again((dir / "c.sqlite").string(), false);
    TPhoneBook reopened(again);
    EXPECT_EQ(reopened.Numbering().CountryCode, "44");
    EXPECT_EQ(reopened.NameFor("00441234567890"), "Ann / Ann B");
    const auto all = reopened.List();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].Name + "=" + all[0].Number, "Ann=+44 1234 567890");
    EXPECT_EQ(all[2].Name + "=" + all[2].Number, "Bob=0207 946 0000");
}

}  // namespace
}  // namespace ringlark
