#include "imagefiles/jpeg/jpegmarkers.h"

// after jpeglib.h, whose types it names
#include <jerror.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace zentavo {

namespace {

constexpr unsigned MaxSegmentPayload = 0xFFFF - 2;

// Plain data and C calls only between setjmp and the end: the jump skips destructors. The
// segments go into plain storage first and become our types after.
struct HeaderReading {
    const QByteArray* jpeg;
    JpegListener listener;
    JpegHeader* header;
};

void readHeader(HeaderReading& job) {
    jpeg_decompress_struct reader;
    reader.err = listenToJpeg(job.listener);
    if (setjmp(job.listener.fatal)) {
        job.header->noImage = reader.err->msg_code == JERR_NO_IMAGE;
        jpeg_destroy_decompress(&reader);
        return;
    }
    jpeg_create_decompress(&reader);
    jpeg_mem_src(&reader, reinterpret_cast<const unsigned char*>(job.jpeg->constData()),
                 static_cast<unsigned long>(job.jpeg->size()));
    saveJpegSegments(&reader);
    jpeg_read_header(&reader, TRUE);
    JpegHeader& header = *job.header;
    JOCTET* profile = nullptr;
    unsigned int profileSize = 0;
    if (jpeg_read_icc_profile(&reader, &profile, &profileSize) && profile) {
        header.iccProfile =
            QByteArray(reinterpret_cast<const char*>(profile), qsizetype(profileSize));
        std::free(profile);
    }
    for (jpeg_saved_marker_ptr marker = reader.marker_list; marker; marker = marker->next) {
        header.segments.push_back(
            {marker->marker, QByteArray(reinterpret_cast<const char*>(marker->data),
                                        qsizetype(marker->data_length))});
    }
    if (reader.saw_JFIF_marker && (reader.density_unit == 1 || reader.density_unit == 2)) {
        header.jfifDensity = Resolution::whole(
            reader.X_density, reader.Y_density,
            reader.density_unit == 1 ? Resolution::Unit::Inch : Resolution::Unit::Centimetre);
    }
    header.adobe = reader.saw_Adobe_marker;
    header.progressive = reader.progressive_mode;
    header.arithmetic = reader.arith_code;
    header.read = true;
    jpeg_destroy_decompress(&reader);
}

}  // namespace

void saveJpegSegments(j_decompress_ptr reader) {
    for (int app = 0; app < 16; ++app) {
        jpeg_save_markers(reader, JPEG_APP0 + app, MaxSegmentPayload);
    }
    jpeg_save_markers(reader, JPEG_COM, MaxSegmentPayload);
}

JpegHeader readJpegHeader(const QByteArray& jpeg) {
    JpegHeader header;
    HeaderReading job{&jpeg, {}, &header};
    try {
        readHeader(job);
    } catch (const std::bad_alloc&) {
        header = JpegHeader();
        header.reason = QStringLiteral("out of memory");
        return header;
    }
    if (!header.read) {
        header.reason = QString::fromLatin1(job.listener.damage);
        header.segments.clear();
    }
    return header;
}

std::shared_ptr<const PictureMetadata> jpegMetadataOf(const JpegHeader& header) {
    return header.read ? jpegMetadata(header.segments, header.jfifDensity) : nullptr;
}

void setJfifDensity(j_compress_ptr writer, const Resolution& density) {
    const Resolution stated = density.inInchesOrCentimetres();
    const auto whole = [](double value) {
        return UINT16(std::clamp<long>(std::lround(value), 1, 0xFFFF));
    };
    if (stated.valid()) {
        writer->density_unit = stated.unit == Resolution::Unit::Inch ? 1 : 2;
        writer->X_density = whole(stated.x());
        writer->Y_density = whole(stated.y());
    } else {
        writer->density_unit = 0;
        writer->X_density = 1;
        writer->Y_density = 1;
    }
}

void writeJpegSegments(j_compress_ptr writer, const JpegMetadataOutput& metadata,
                       const QByteArray& iccProfile) {
    const bool placed = std::any_of(metadata.segments.begin(), metadata.segments.end(),
                                    [](const JpegSegment& segment) { return segment.marker == 0; });
    const auto writeProfile = [&] {
        if (!iccProfile.isEmpty()) {
            jpeg_write_icc_profile(writer, reinterpret_cast<const JOCTET*>(iccProfile.constData()),
                                   unsigned(iccProfile.size()));
        }
    };
    if (!placed) {
        writeProfile();
    }
    for (const JpegSegment& segment : metadata.segments) {
        if (segment.marker == 0) {
            writeProfile();
        } else {
            jpeg_write_marker(
                writer, segment.marker, reinterpret_cast<const JOCTET*>(segment.data.constData()),
                unsigned(std::min<qsizetype>(segment.data.size(), MaxSegmentPayload)));
        }
    }
}

QByteArray unreadJpegBytes(j_decompress_ptr reader) {
    if (!reader->src || reader->src->bytes_in_buffer == 0) {
        return {};
    }
    return QByteArray(reinterpret_cast<const char*>(reader->src->next_input_byte),
                      qsizetype(reader->src->bytes_in_buffer));
}

}  // namespace zentavo
