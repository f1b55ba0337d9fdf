#include "imagefiles/metadata/metadatacontent.h"

#include <QRegularExpression>
#include <QXmlStreamReader>

#include <algorithm>
#include <optional>

// exiv2 can only write an XMP packet whole from its own parse: it serialises every property
// anew (losing rdf:about, another toolkit's layout and padding, values it does not know how to
// type) and drops a packet it cannot parse. The few facts that a flip or a turn changes are
// therefore changed here in the packet's text, found by Qt's XML reader, and every other byte
// stays as it was.

namespace zentavo {

namespace {

const QString TiffNamespace = QStringLiteral("http://ns.adobe.com/tiff/1.0/");
const QString ExifNamespace = QStringLiteral("http://ns.adobe.com/exif/1.0/");
const QString NoteNamespace = QStringLiteral("http://ns.adobe.com/xmp/note/");

// A stretch of the packet's text to replace.
struct Edit {
    qsizetype from = 0;
    qsizetype to = 0;
    QString text;
};

// Where a property's value stands in the text: its first character and the one past its last;
// whole is the property itself (attribute or element), for removing it.
struct Place {
    qsizetype valueFrom = 0;
    qsizetype valueTo = 0;
    qsizetype wholeFrom = 0;
    qsizetype wholeTo = 0;
};

enum class Fact { Orientation, Width, Height, XResolution, YResolution, ExtendedPointer };

std::optional<Fact> factOf(QStringView ns, QStringView name) {
    struct Known {
        const QString& ns;
        QStringView name;
        Fact fact;
    };
    static const Known known[] = {
        {TiffNamespace, u"Orientation", Fact::Orientation},
        {TiffNamespace, u"ImageWidth", Fact::Width},
        {TiffNamespace, u"ImageLength", Fact::Height},
        {TiffNamespace, u"XResolution", Fact::XResolution},
        {TiffNamespace, u"YResolution", Fact::YResolution},
        {ExifNamespace, u"PixelXDimension", Fact::Width},
        {ExifNamespace, u"PixelYDimension", Fact::Height},
        {NoteNamespace, u"HasExtendedXMP", Fact::ExtendedPointer},
    };
    for (const Known& entry : known) {
        if (entry.name == name && entry.ns == ns) {
            return entry.fact;
        }
    }
    return std::nullopt;
}

// A simple element whose text is a fact, while the reader is inside it.
struct OpenFact {
    Fact fact;
    int depth;
    qsizetype start;  // its start tag's '<'
    qsizetype valueFrom;
};

// The attributes of a start tag (text from tagStart to tagEnd) that are facts.
void findAttributeFacts(const QXmlStreamReader& reader, const QString& text, qsizetype tagStart,
                        qsizetype tagEnd, std::vector<std::pair<Fact, Place>>& found) {
    const QString tag = text.mid(tagStart, tagEnd - tagStart);
    for (const QXmlStreamAttribute& attribute : reader.attributes()) {
        const std::optional<Fact> fact = factOf(attribute.namespaceUri(), attribute.name());
        if (!fact) {
            continue;
        }
        // The attribute in the start tag's text, by the name it is written with.
        const QRegularExpression pattern(
            QStringLiteral("\\s+%1\\s*=\\s*([\"'])([^\"']*)\\1")
                .arg(QRegularExpression::escape(attribute.qualifiedName().toString())));
        const QRegularExpressionMatch match = pattern.match(tag);
        if (match.hasMatch()) {
            found.push_back({*fact,
                             {tagStart + match.capturedStart(2), tagStart + match.capturedEnd(2),
                              tagStart + match.capturedStart(0), tagStart + match.capturedEnd(0)}});
        }
    }
}

// Finds the facts in the packet, as attributes or as simple elements. The reader tells where a
// start tag ends; the rest is found from there in the text, where '<' and '>' only ever stand
// for tags (values hold them as entities). False when the XML reader cannot read the packet.
bool findFacts(const QString& text, std::vector<std::pair<Fact, Place>>& found) {
    QXmlStreamReader reader(text);
    int depth = 0;
    std::optional<OpenFact> open;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            ++depth;
            open.reset();  // a fact holding elements is no simple value
            const qsizetype tagEnd = reader.characterOffset();
            const qsizetype tagStart = text.lastIndexOf(QLatin1Char('<'), tagEnd - 1);
            if (tagStart < 0) {
                return false;
            }
            findAttributeFacts(reader, text, tagStart, tagEnd, found);
            const std::optional<Fact> fact = factOf(reader.namespaceUri(), reader.name());
            if (fact && reader.attributes().isEmpty() && text[tagEnd - 2] != QLatin1Char('/')) {
                open = OpenFact{*fact, depth, tagStart, tagEnd};
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (open && open->depth == depth) {
                const qsizetype valueTo = text.indexOf(QLatin1Char('<'), open->valueFrom);
                const qsizetype wholeTo = text.indexOf(QLatin1Char('>'), valueTo);
                // Plain text up to the end tag; a comment or CDATA inside is left alone.
                if (valueTo >= 0 && wholeTo >= 0 && text.mid(valueTo, 2) == QLatin1String("</")) {
                    found.push_back(
                        {open->fact, {open->valueFrom, valueTo, open->start, wholeTo + 1}});
                }
            }
            open.reset();
            if (--depth == 0) {
                break;  // the packet's trailer and padding follow the root element
            }
        }
    }
    return !reader.hasError();
}

}  // namespace

QByteArray changedXmpPacket(const QByteArray& packet, const XmpChange& change) {
    const QString text = QString::fromUtf8(packet);
    std::vector<std::pair<Fact, Place>> found;
    if (text.toUtf8() != packet || !findFacts(text, found) || found.empty()) {
        return packet;
    }
    std::vector<Edit> edits;
    const auto valueOf = [&](Fact fact) -> std::optional<QString> {
        for (const auto& [f, place] : found) {
            if (f == fact) {
                return text.mid(place.valueFrom, place.valueTo - place.valueFrom);
            }
        }
        return std::nullopt;
    };
    const std::optional<QString> x = valueOf(Fact::XResolution);
    const std::optional<QString> y = valueOf(Fact::YResolution);
    for (const auto& [fact, place] : found) {
        std::optional<QString> value;
        switch (fact) {
            case Fact::Orientation:
                value = QStringLiteral("1");
                break;
            case Fact::Width:
                value = QString::number(change.size.width());
                break;
            case Fact::Height:
                value = QString::number(change.size.height());
                break;
            case Fact::XResolution:
                value = change.axesSwapped && y ? y : std::nullopt;
                break;
            case Fact::YResolution:
                value = change.axesSwapped && x ? x : std::nullopt;
                break;
            case Fact::ExtendedPointer:
                if (change.dropExtendedPointer) {
                    edits.push_back({place.wholeFrom, place.wholeTo, QString()});
                }
                break;
        }
        if ((fact == Fact::Width || fact == Fact::Height) && !change.size.isValid()) {
            value.reset();
        }
        if (value) {
            edits.push_back({place.valueFrom, place.valueTo, *value});
        }
    }
    std::sort(edits.begin(), edits.end(),
              [](const Edit& a, const Edit& b) { return a.from > b.from; });
    QString changed = text;
    for (const Edit& edit : edits) {
        changed.replace(edit.from, edit.to - edit.from, edit.text);
    }
    return changed.toUtf8();
}

}  // namespace zentavo
