#include "io/csv.h"

#include "support/csvreader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

namespace {

TEST(Csv, QuotesOnlyWhatMustBeQuotedAndRoundTrips) {
    EXPECT_EQ(CsvField("plain text"), "plain text");
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvField("two\nlines"), "\"two\nlines\"");
    EXPECT_EQ(CsvField("cr\r"), "\"cr\r\"");
    EXPECT_EQ(CsvLine({}), "\r\n");
    const std::vector<std::string> fields{"", ",", "\"", "\"\"", "a\r\nb", " spaced ", "é,ü"};
    const CsvRows rows = ReadCsv(CsvLine(fields) + CsvLine({"x"}));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], fields);
    EXPECT_EQ(rows[1], std::vector<std::string>{"x"});
}

// What a JSON reader makes of the literal.
QString parsed(const std::string& literal) {
    QJsonParseError error{};
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString("[" + literal + "]"), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << literal;
    return document.array().at(0).toString();
}

TEST(Csv, JsonStringsEscapeControlsAndReplaceBytesThatAreNoUtf8) {
    const std::string text = "quote \" backslash \\ tab \t nl \n bell \x07 é 日本 😀";
    EXPECT_EQ(parsed(JsonString(text)), QString::fromUtf8(text.c_str()));
    EXPECT_EQ(JsonString("\x01"), "\"\\u0001\"");
    // A lone continuation byte, a cut sequence, an overlong form, a surrogate.
    for (const std::string& bad : {std::string("a\x80z"), std::string("a\xE6\x97z"),
                                   std::string("a\xC0\xAFz"), std::string("a\xED\xA0\x80z")}) {
        const QString value = parsed(JsonString(bad));
        EXPECT_TRUE(value.startsWith(QLatin1Char('a')) && value.endsWith(QLatin1Char('z')));
        EXPECT_TRUE(value.contains(QChar(0xFFFD))) << bad;
    }
}

TEST(Csv, Base64AsRfc4648GivesIt) {
    EXPECT_EQ(Base64(""), "");
    EXPECT_EQ(Base64("f"), "Zg==");
    EXPECT_EQ(Base64("fo"), "Zm8=");
    EXPECT_EQ(Base64("foob\xFF\xFE\xFD"), "Zm9vYv/+/Q==");
}

TEST(Csv, TerminalTextShowsControlsAndForeignBytesEscaped) {
    // A title change, a colour, a C1 control sequence introducer in both its
    // forms, a lone byte that is no UTF-8, DEL and a backslash.
    EXPECT_EQ(TerminalText("\x1b]0;owned\x07/\x1b[31mred\t\xC2\x9B"
                           "2J\x9b\x7f\\x1b"),
              "\\x1b]0;owned\\x07/\\x1b[31mred\\x09\\xc2\\x9b2J\\x9b\\x7f\\\\x1b");
    // Letters of any script are shown as they are, U+00A0 (after C1) too.
    EXPECT_EQ(TerminalText("/media/Bj\xC3\xB6rk \xE6\x97\xA5 \xC2\xA0"),
              "/media/Bj\xC3\xB6rk \xE6\x97\xA5 \xC2\xA0");
}

} // namespace
