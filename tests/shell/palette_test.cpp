// The window under the desktop's colours: every caption of the options panel must read on the
// background it is drawn on, under a light, a dark and a high-contrast palette, and when the
// desktop switches palette while the window is open.
#include "tests/shell/formfixture.h"

#include <QApplication>
#include <QGroupBox>
#include <QImage>
#include <QPalette>
#include <QRadioButton>
#include <QStyle>
#include <QStyleFactory>

#include <cmath>
#include <functional>

namespace zentavo::test {

namespace {

// The luminance of a colour as the web's contrast rule defines it.
double luminance(const QColor& colour) {
    const auto channel = [](double value) {
        value /= 255.0;
        return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.red()) + 0.7152 * channel(colour.green()) +
           0.0722 * channel(colour.blue());
}

double contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QPalette paletteOf(const QColor& window, const QColor& text, const QColor& base,
                   const QColor& disabledText) {
    QPalette palette(window);
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const QColor ink = group == QPalette::Disabled ? disabledText : text;
        palette.setColor(group, QPalette::Window, window);
        palette.setColor(group, QPalette::WindowText, ink);
        palette.setColor(group, QPalette::Base, base);
        palette.setColor(group, QPalette::AlternateBase, window);
        palette.setColor(group, QPalette::Text, ink);
        palette.setColor(group, QPalette::Button, window);
        palette.setColor(group, QPalette::ButtonText, ink);
    }
    return palette;
}

// A dark scheme as desktops set it through their Qt settings, and a high-contrast one.
QPalette darkPalette() {
    return paletteOf(QColor(53, 53, 53), Qt::white, QColor(42, 42, 42), QColor(127, 127, 127));
}
QPalette highContrastPalette() {
    return paletteOf(Qt::black, Qt::white, Qt::black, QColor(160, 160, 160));
}

struct Caption {
    QString name;
    QColor background;  // the colour behind the caption
    QColor ink;         // of the caption's pixels, the one that stands out most
    bool enabled = true;
};

// Each caption of the panel as drawn: the title line of every frame, the text part of every
// option button. The background is the colour most pixels of the region have.
std::vector<Caption> captionsOf(QWidget* form) {
    std::vector<Caption> captions;
    const auto measure = [&](QWidget* widget, const QRect& region) {
        const QImage picture = widget->grab().toImage();
        std::map<QRgb, int> counts;
        for (int y = region.top(); y <= region.bottom(); ++y) {
            for (int x = region.left(); x <= region.right(); ++x) {
                ++counts[picture.pixel(x, y)];
            }
        }
        QRgb background = 0;
        int most = 0;
        for (const auto& [rgb, count] : counts) {
            if (count > most) {
                most = count;
                background = rgb;
            }
        }
        Caption caption{widget->objectName(), QColor(background), QColor(background),
                        widget->isEnabled()};
        for (const auto& [rgb, count] : counts) {
            if (contrast(QColor(rgb), caption.background) >
                contrast(caption.ink, caption.background)) {
                caption.ink = QColor(rgb);
            }
        }
        captions.push_back(caption);
    };
    for (QGroupBox* frame : form->findChildren<QGroupBox*>()) {
        measure(frame, QRect(0, 0, frame->width(), frame->fontMetrics().height()));
    }
    for (QRadioButton* option : form->findChildren<QRadioButton*>()) {
        const int text = option->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth) +
                         option->style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing);
        measure(option, QRect(text, 0, option->width() - text, option->height()));
    }
    return captions;
}

// Readable: the usual contrast rule for text, and a clear shade for a caption greyed out.
void expectReadable(QWidget* form) {
    const std::vector<Caption> captions = captionsOf(form);
    ASSERT_EQ(captions.size(), 6u + 10u);  // six frames, ten option buttons
    for (const Caption& caption : captions) {
        const double ratio = contrast(caption.ink, caption.background);
        EXPECT_GE(ratio, caption.enabled ? 4.5 : 1.8)
            << caption.name.toStdString() << ": " << caption.ink.name().toStdString() << " on "
            << caption.background.name().toStdString();
    }
}

class PaletteTest : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        m_style = QApplication::style()->name();
        m_palette = QApplication::palette();
        // The style that desktops pair with their own palettes.
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    }
    void TearDown() override {
        FormTest::TearDown();
        QApplication::setStyle(QStyleFactory::create(m_style));
        QApplication::setPalette(m_palette);
    }
    QString m_style;
    QPalette m_palette;
};

}  // namespace

TEST_F(PaletteTest, EveryCaptionReadsOnItsBackgroundUnderEachPalette) {
    const struct {
        const char* name;
        std::function<QPalette()> palette;
    } table[] = {
        {"light", [] { return QApplication::style()->standardPalette(); }},
        {"dark", darkPalette},
        {"high contrast", highContrastPalette},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        QApplication::setPalette(row.palette());
        loadForm();
        expectReadable(m_form.get());
    }
}

TEST_F(PaletteTest, PanelsAreWhiteUnderALightPaletteAndFollowASwitchToADarkOne) {
    QApplication::setPalette(QApplication::style()->standardPalette());
    loadForm();
    for (const Caption& caption : captionsOf(m_form.get())) {
        EXPECT_EQ(caption.background, QColor(Qt::white)) << caption.name.toStdString();
    }
    // The desktop turns to a dark scheme while the window is open.
    QApplication::setPalette(darkPalette());
    QCoreApplication::processEvents();
    expectReadable(m_form.get());
    for (const Caption& caption : captionsOf(m_form.get())) {
        EXPECT_LT(caption.background.lightness(), 128) << caption.name.toStdString();
    }
}

}  // namespace zentavo::test
