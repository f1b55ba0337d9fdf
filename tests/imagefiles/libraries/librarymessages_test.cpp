#include "imagefiles/libraries/librarymessages.h"

#include <QLoggingCategory>

#include <gtest/gtest.h>
#include <tiffio.h>

namespace zentavo {
namespace {

// What Qt's image plugins log and what libtiff reports without a file of ours reaches the
// innermost collector of the thread, never the terminal; the last error wins over warnings.
TEST(LibraryMessages, PluginAndLibtiffMessagesGoToTheInnermostCollector) {
    installLibraryMessageHandlers();
    LibraryMessages outer;
    {
        LibraryMessages inner;
        const QLoggingCategory plugin("qt.imageformats.tiff");
        qCWarning(plugin) << "plugin warning";
        TIFFError("TIFFReadDirectory", "bad directory %d", 3);
        TIFFWarning("TIFFFetchNormalTag", "odd tag");
        EXPECT_EQ(inner.messages().size(), 3) << inner.messages().join('\n').toStdString();
        EXPECT_EQ(inner.last(), QStringLiteral("libtiff: TIFFReadDirectory: bad directory 3"));
    }
    EXPECT_TRUE(outer.messages().isEmpty());
    TIFFWarning("TIFFFetchNormalTag", "now for the outer one");
    EXPECT_EQ(outer.last(), QStringLiteral("libtiff: TIFFFetchNormalTag: now for the outer one"));
}

}  // namespace
}  // namespace zentavo
