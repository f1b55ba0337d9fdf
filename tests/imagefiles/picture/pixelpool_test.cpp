#include "imagefiles/picture/pixelpool.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

using namespace zentavo;

TEST(PixelPool, ALargePictureReusesTheMemoryOfTheOneBefore) {
    releasePooledBuffers();
    const uchar* first = nullptr;
    {
        QImage image = pooledImage(2000, 1000, QImage::Format_RGB888);
        ASSERT_FALSE(image.isNull());
        first = image.constBits();
        image.fill(Qt::red);
    }
    QImage again = pooledImage(1999, 1000, QImage::Format_RGB888);
    EXPECT_EQ(again.constBits(), first);
    EXPECT_EQ(again.size(), QSize(1999, 1000));
    EXPECT_EQ(again.bytesPerLine() % 4, 0);
    again = QImage();
    // Working buffers share the pool with the pictures.
    const PooledBuffer blocks(1999 * 3000);
    EXPECT_EQ(blocks.data(), static_cast<const void*>(first));
    EXPECT_GE(blocks.size(), 1999 * 3000);
}

TEST(PixelPool, TheColourPlanesOfATurnAllReuseTheMemoryOfTheFileBefore) {
    releasePooledBuffers();
    // A 12-megapixel 4:2:0 JPEG: the luma and two chroma planes, and their turned copies.
    const QSize sizes[] = {{4000, 3000}, {2000, 1500}, {2000, 1500},
                           {3000, 4000}, {1500, 2000}, {1500, 2000}};
    std::set<const uchar*> first;
    {
        std::vector<QImage> planes;
        for (const QSize size : sizes) {
            planes.push_back(pooledImage(size.width(), size.height(), QImage::Format_Grayscale8));
            first.insert(planes.back().constBits());
        }
    }
    std::vector<QImage> again;
    for (const QSize size : sizes) {
        again.push_back(pooledImage(size.width(), size.height(), QImage::Format_Grayscale8));
        EXPECT_TRUE(first.count(again.back().constBits())) << size.width() << "x" << size.height();
    }
}

TEST(PixelPool, PicturesInFlightNeverShareMemory) {
    releasePooledBuffers();
    QImage a = pooledImage(2000, 1000, QImage::Format_RGB888);
    QImage b = pooledImage(2000, 1000, QImage::Format_RGB888);
    ASSERT_FALSE(a.isNull());
    ASSERT_FALSE(b.isNull());
    EXPECT_NE(a.constBits(), b.constBits());
    a.fill(Qt::red);
    b.fill(Qt::blue);
    EXPECT_EQ(a.pixel(1999, 999), qRgb(255, 0, 0));
    EXPECT_EQ(b.pixel(0, 0), qRgb(0, 0, 255));
}

TEST(PixelPool, WritingToACopyDetachesAndLeavesTheOriginal) {
    QImage a = pooledImage(1500, 1500, QImage::Format_Grayscale8);
    a.fill(10);
    QImage copy = a;
    copy.setPixel(0, 0, qRgb(200, 200, 200));
    EXPECT_NE(copy.constBits(), a.constBits());
    EXPECT_EQ(qGray(a.pixel(0, 0)), 10);
}

TEST(PixelPool, SmallAndEmptyPicturesComeFromTheOrdinaryAllocator) {
    EXPECT_TRUE(pooledImage(0, 10, QImage::Format_RGB888).isNull());
    const QImage small = pooledImage(10, 10, QImage::Format_RGB32);
    EXPECT_EQ(small.size(), QSize(10, 10));
}
