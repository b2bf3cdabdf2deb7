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

} // namespace
