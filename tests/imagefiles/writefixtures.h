#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

#include <vector>

namespace zentavo::test {

// Pictures and checks that the writer tests generate; nothing comes from outside.

// A photograph-like picture: smooth colour gradients, a soft disc and mild noise, from seed.
// Format_RGB32.
QImage photoLike(int width, int height, unsigned seed = 1);

// Peak signal-to-noise ratio of b against a over the red, green and blue samples, in dB.
double psnr(const QImage& a, const QImage& b);

// The 64 values of the first quantisation table of a JPEG stream (zig-zag order); empty when
// there is none.
std::vector<int> firstQuantTable(const QByteArray& jpeg);

// The ICC profile a JPEG stream carries in its APP2 markers, joined in sequence order; empty
// when there is none or the sequence is broken.
QByteArray jpegIccProfile(const QByteArray& jpeg);

// A raw TIFF read back with libtiff: the tags the writer sets and the samples, native order.
struct TiffContent {
    bool ok = false;
    int width = 0;
    int height = 0;
    int samples = 0;
    int bits = 0;
    int photometric = 0;
    int extraSample = -1;  // EXTRASAMPLE_* of the first extra sample, -1 without
    int compression = 0;
    QByteArray icc;
    std::vector<quint16> values;  // width x height x samples
};
TiffContent readTiff(const QString& path);

// The result of running the current test again in a child process that cannot override file
// permissions (as root: without CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH and CAP_FOWNER).
struct ChildRun {
    bool started = false;
    int exitCode = -1;
    QString output;
};

// The folder the parent handed to this child; empty in a normal run.
QString unprivilegedChildFolder();

// Runs the current test (by its full name) in such a child, with folder passed to it. As root
// only: a caller that is not root runs the body itself.
ChildRun rerunWithoutOverride(const QString& folder);

}  // namespace zentavo::test
