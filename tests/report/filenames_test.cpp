#include "report/filenames.h"

#include <gtest/gtest.h>

using namespace zentavo;

namespace {

struct NameCase {
    const char* bytes;
    const char16_t* text;  // what the program holds
};

// Valid UTF-8 reads as its text; every byte of a broken sequence stands alone as U+DC00 + byte.
const NameCase NameCases[] = {
    {"IMG_0001.JPG", u"IMG_0001.JPG"},
    {"caf\xc3\xa9.jpg", u"caf\u00e9.jpg"},
    {"\xf0\x9f\x98\x80.png", u"\U0001F600.png"},
    {"caf\xe9.jpg", u"caf\xdce9.jpg"},                  // Latin-1 e acute
    {"\xc3", u"\xdcc3"},                                // cut-off sequence
    {"\xc0\xaf", u"\xdcc0\xdcaf"},                      // overlong "/"
    {"\xed\xa0\x80", u"\xdced\xdca0\xdc80"},            // an encoded surrogate
    {"\xf4\x90\x80\x80", u"\xdcf4\xdc90\xdc80\xdc80"},  // past U+10FFFF
    {"a\x80z", u"a\xdc80z"},                            // a stray continuation byte
    {"\xf0\x90\x82\x80", u"\U00010080"},  // its low surrogate is U+DC80, and still no byte
};

}  // namespace

TEST(FileNames, EveryByteStringComesBackAsTheSameBytes) {
    for (const NameCase& c : NameCases) {
        SCOPED_TRACE(c.bytes);
        const QString text = decodeFileName(c.bytes);
        EXPECT_EQ(text, QString::fromUtf16(c.text));
        EXPECT_EQ(encodeFileName(text), QByteArray(c.bytes));
    }
    // All 256 byte values in one name, NUL aside.
    QByteArray every;
    for (int b = 1; b < 256; ++b) {
        every.append(char(b));
    }
    EXPECT_EQ(encodeFileName(decodeFileName(every)), every);
}

TEST(FileNames, OnlyUndecodedBytesShowAsReplacementCharacters) {
    EXPECT_FALSE(hasUndecodedBytes(decodeFileName("caf\xc3\xa9 \xf0\x90\x82\x80.jpg")));
    EXPECT_EQ(readableFileName(decodeFileName("caf\xc3\xa9.jpg")), QString::fromUtf8("café.jpg"));
    EXPECT_TRUE(hasUndecodedBytes(decodeFileName("caf\xe9.jpg")));
    EXPECT_EQ(readableFileName(decodeFileName("caf\xe9 \xf0\x90\x82\x80.jpg")),
              QString::fromUtf16(u"caf\uFFFD \U00010080.jpg"));
    // A lone surrogate from elsewhere is no byte of ours: it is written as the replacement.
    EXPECT_EQ(encodeFileName(QString::fromUtf16(u"a\xd800"
                                                u"b")),
              QByteArray("a\xef\xbf\xbd"
                         "b"));
}
