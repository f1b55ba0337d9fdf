// zentavo-bench-floor: what libjpeg-turbo alone needs to re-encode a set of JPEGs.
//
// Each file is decoded with TurboJPEG to packed RGB and encoded again at the given quality
// with the input's own chroma subsampling (as zentavo-batch keeps it), with no transform in
// between; the result is written to the output folder under the input's name. This is the
// floor the flip and the turn of zentavo-batch are measured against: one core, one file at a
// time, handles and buffers reused, nothing else done.
//
// With --planes each file is decoded to its Y, Cb and Cr planes instead and encoded from them,
// with no colour conversion or chroma resampling either way: the floor of re-encoding at all.
//
//   zentavo-bench-floor [--planes] [-o DIR] [-q QUALITY] FILE...
// Prints the number of files, megapixels and seconds. Exit status 1 if any file failed.

#include <turbojpeg.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

bool readFile(const char* path, std::vector<unsigned char>& bytes) {
    std::FILE* in = std::fopen(path, "rb");
    if (!in)
        return false;
    std::fseek(in, 0, SEEK_END);
    const long size = std::ftell(in);
    std::fseek(in, 0, SEEK_SET);
    bytes.resize(size > 0 ? std::size_t(size) : 0);
    const bool ok = size >= 0 && std::fread(bytes.data(), 1, bytes.size(), in) == bytes.size();
    std::fclose(in);
    return ok;
}

bool writeFile(const std::string& path, const unsigned char* data, unsigned long size) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        return false;
    const bool ok = std::fwrite(data, 1, size, out) == size;
    return std::fclose(out) == 0 && ok;
}

std::string baseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
    std::string outDir;
    int quality = 85;
    bool planes = false;
    std::vector<const char*> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--planes") == 0)
            planes = true;
        else if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc)
            outDir = argv[++i];
        else if (std::strcmp(argv[i], "-q") == 0 && i + 1 < argc)
            quality = std::atoi(argv[++i]);
        else
            files.push_back(argv[i]);
    }
    if (files.empty() || quality < 1 || quality > 100) {
        std::fprintf(stderr,
                     "usage: zentavo-bench-floor [--planes] [-o DIR] [-q QUALITY] FILE...\n");
        return 2;
    }

    tjhandle decoder = tjInitDecompress();
    tjhandle encoder = tjInitCompress();
    if (!decoder || !encoder) {
        std::fprintf(stderr, "TurboJPEG: %s\n", tjGetErrorStr2(nullptr));
        return 1;
    }
    std::vector<unsigned char> input;
    std::vector<unsigned char> pixels;
    unsigned char* jpeg = nullptr;
    unsigned long jpegSize = 0;
    double megapixels = 0;
    int failures = 0;

    const auto start = std::chrono::steady_clock::now();
    for (const char* path : files) {
        int width = 0, height = 0, subsampling = 0, colourspace = 0;
        if (!readFile(path, input) ||
            tjDecompressHeader3(decoder, input.data(), input.size(), &width, &height, &subsampling,
                                &colourspace) != 0) {
            std::fprintf(stderr, "%s: cannot read: %s\n", path, tjGetErrorStr2(decoder));
            ++failures;
            continue;
        }
        bool decoded = false;
        bool encoded = false;
        if (planes) {
            pixels.resize(tjBufSizeYUV2(width, 1, height, subsampling));
            decoded = tjDecompressToYUV2(decoder, input.data(), input.size(), pixels.data(), width,
                                         1, height, TJFLAG_ACCURATEDCT) == 0;
            encoded =
                decoded && tjCompressFromYUV(encoder, pixels.data(), width, 1, height, subsampling,
                                             &jpeg, &jpegSize, quality, TJFLAG_ACCURATEDCT) == 0;
        } else {
            pixels.resize(std::size_t(width) * height * 3);
            decoded = tjDecompress2(decoder, input.data(), input.size(), pixels.data(), width, 0,
                                    height, TJPF_RGB, TJFLAG_ACCURATEDCT) == 0;
            encoded =
                decoded && tjCompress2(encoder, pixels.data(), width, 0, height, TJPF_RGB, &jpeg,
                                       &jpegSize, subsampling, quality, TJFLAG_ACCURATEDCT) == 0;
        }
        if (!decoded) {
            std::fprintf(stderr, "%s: cannot decode: %s\n", path, tjGetErrorStr2(decoder));
            ++failures;
            continue;
        }
        if (!encoded) {
            std::fprintf(stderr, "%s: cannot encode: %s\n", path, tjGetErrorStr2(encoder));
            ++failures;
            continue;
        }
        if (!outDir.empty() && !writeFile(outDir + "/" + baseName(path), jpeg, jpegSize)) {
            std::fprintf(stderr, "%s: cannot write the output\n", path);
            ++failures;
            continue;
        }
        megapixels += double(width) * height / 1e6;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    tjFree(jpeg);
    tjDestroy(encoder);
    tjDestroy(decoder);
    std::printf("%zu files, %.1f megapixels, %.3f s\n", files.size() - failures, megapixels,
                seconds);
    return failures == 0 ? 0 : 1;
}
