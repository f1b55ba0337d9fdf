// The options panel: the operation, direction and quality choices, the quality slider, the
// results folder and its two buttons, and what the outputs keep (tree, dates, existing results).
// Each choice is written to the store the moment it changes.
#include "shell/form1.h"

#include "report/dialogs.h"
#include "report/errorreport.h"
#include "shell/mainroutines.h"
#include "shell/settingsstore.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

namespace zentavo {

namespace {

// An option button's click: it fires when the button becomes selected, whether the user or the
// program selected it, and not when it is unselected.
template <typename Handler>
void onSelected(QRadioButton* option, Form1* form, Handler handler) {
    QObject::connect(option, &QRadioButton::toggled, form, [form, handler](bool selected) {
        if (selected) {
            (form->*handler)();
        }
    });
}

}  // namespace

void Form1::connectOptionHandlers() {
    onSelected(m_ui.Option8, this, &Form1::Option8_Click);
    onSelected(m_ui.Option9, this, &Form1::Option9_Click);
    onSelected(m_ui.Option1, this, &Form1::Option1_Click);
    onSelected(m_ui.Option2, this, &Form1::Option1_Click);
    onSelected(m_ui.Option21, this, &Form1::Option21_Click);
    onSelected(m_ui.Option22, this, &Form1::Option22_Click);
    onSelected(m_ui.Option23, this, &Form1::Option23_Click);
    connect(m_ui.Option3, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            Option3_Click("-180");
        }
    });
    connect(m_ui.Option4, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            Option3_Click("-90");
        }
    });
    connect(m_ui.Option5, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            Option3_Click("-270");
        }
    });
    // The quality is settled at the end of a drag, a click or a key: written then, once. During
    // a drag the caption follows the handle.
    connect(m_ui.Slider1, &QSlider::valueChanged, this, [this](int value) {
        if (m_ui.Slider1->isSliderDown()) {
            m_ui.Frame3->setTitle(QString::number(value) + QLatin1Char('%'));
        } else {
            Slider1_Change();
        }
    });
    connect(m_ui.Slider1, &QSlider::sliderReleased, this, &Form1::Slider1_Change);
    connect(m_ui.Text1, &QLineEdit::textChanged, this, &Form1::Text1_Change);
    connect(m_ui.Check1, &QCheckBox::toggled, this, &Form1::Check1_Click);
    connect(m_ui.Check2, &QCheckBox::toggled, this, &Form1::Check2_Click);
    connect(m_ui.Combo1, &QComboBox::currentIndexChanged, this, &Form1::Combo1_Click);
    connect(m_ui.PushButton6, &QPushButton::clicked, this, &Form1::PushButton6_Click);
    connect(m_ui.PushButton8, &QPushButton::clicked, this, &Form1::PushButton8_Click);
}

void Form1::restoreOption(QRadioButton* option, const char* key, int fallback) {
    const bool selected = settingToBoolean(m_settings.GetSetting(QLatin1String(key), fallback));
    if (selected || !option->isChecked()) {
        option->setChecked(selected);
        return;
    }
    // A stored "False" unselects the button even when it leaves its group with none selected;
    // an exclusive group would refuse that.
    QButtonGroup* group = option->group();
    group->setExclusive(false);
    option->setChecked(false);
    group->setExclusive(true);
}

void Form1::Option8_Click() {
    m_settings.SaveSetting(QStringLiteral("Option8"), settingText(m_ui.Option8->isChecked()));
    m_settings.SaveSetting(QStringLiteral("Option9"), settingText(m_ui.Option9->isChecked()));
    m_ui.Option1->setEnabled(true);
    m_ui.Option2->setEnabled(true);
    m_ui.Option3->setEnabled(false);
    m_ui.Option4->setEnabled(false);
    m_ui.Option5->setEnabled(false);
}

void Form1::Option9_Click() {
    m_settings.SaveSetting(QStringLiteral("Option8"), settingText(m_ui.Option8->isChecked()));
    m_settings.SaveSetting(QStringLiteral("Option9"), settingText(m_ui.Option9->isChecked()));
    m_ui.Option1->setEnabled(false);
    m_ui.Option2->setEnabled(false);
    m_ui.Option3->setEnabled(true);
    m_ui.Option4->setEnabled(true);
    m_ui.Option5->setEnabled(true);
}

void Form1::Option1_Click() {
    m_settings.SaveSetting(QStringLiteral("Option1"), settingText(m_ui.Option1->isChecked()));
    m_settings.SaveSetting(QStringLiteral("Option2"), settingText(m_ui.Option2->isChecked()));
}

void Form1::Option3_Click(const char* degrees) {
    m_degrees = QLatin1String(degrees);
    m_settings.SaveSetting(QStringLiteral("Option3"), settingText(m_ui.Option3->isChecked()));
    m_settings.SaveSetting(QStringLiteral("Option4"), settingText(m_ui.Option4->isChecked()));
    m_settings.SaveSetting(QStringLiteral("Option5"), settingText(m_ui.Option5->isChecked()));
    m_settings.SaveSetting(QStringLiteral("Degrees"), m_degrees);
}

void Form1::saveQualityOptions() {
    m_settings.SaveSetting(QStringLiteral("Option21"), settingText(m_ui.Option21->isChecked()));
    m_settings.SaveSetting(QStringLiteral("Option22"), settingText(m_ui.Option22->isChecked()));
    if (!m_restoringQuality) {
        m_settings.SaveSetting(QStringLiteral("Option23"), settingText(m_ui.Option23->isChecked()));
    }
}

void Form1::Option21_Click() {
    saveQualityOptions();
    m_ui.Frame3->setEnabled(false);
}

void Form1::Option22_Click() {
    saveQualityOptions();
    m_ui.Frame3->setEnabled(true);
}

void Form1::Option23_Click() {
    // The lossless mode sets no quality of its own: the slider has nothing to say.
    saveQualityOptions();
    m_ui.Frame3->setEnabled(false);
}

void Form1::Slider1_Change() {
    const int value = m_ui.Slider1->value();
    m_ui.Frame3->setTitle(QString::number(value) + QLatin1Char('%'));
    m_settings.SaveSetting(QStringLiteral("Slider1"), QString::number(value));
}

void Form1::Text1_Change() {
    m_settings.SaveSetting(QStringLiteral("Text1"), m_ui.Text1->text());
}

void Form1::Check1_Click() {
    m_settings.SaveSetting(QStringLiteral("Check1"), settingText(m_ui.Check1->isChecked()));
}

void Form1::Check2_Click() {
    m_settings.SaveSetting(QStringLiteral("Check2"), settingText(m_ui.Check2->isChecked()));
}

void Form1::Combo1_Click() {
    m_settings.SaveSetting(QStringLiteral("Combo1"), QString::number(m_ui.Combo1->currentIndex()));
}

void Form1::PushButton6_Click() {
    ErrorReport guard(m_dialogs, QStringLiteral("in Zentavo2021/08/31.Form1.PushButton6_Click "));
    QString chosen;
    guard.step(100, [&] {
        m_browseStart = m_settings.GetSetting(QStringLiteral("LastFolderDot"), QString());
        chosen = PickFolder(m_dialogs, QStringLiteral("Please select folder:"), m_browseStart);
    });
    if (guard.test(102, [&] { return chosen.isEmpty(); })) {
        return;
    }
    bool endsWithSeparator = false;
    guard.step(104, [&] {
        m_browseStart = chosen;
        m_settings.SaveSetting(QStringLiteral("LastFolderDot"), m_browseStart);
        endsWithSeparator = chosen.endsWith(QLatin1Char('/'));
    });
    if (!endsWithSeparator) {
        guard.step(106, [&] { m_ui.Text1->setText(chosen + QLatin1Char('/')); });
    } else {
        guard.step(108, [&] { m_ui.Text1->setText(chosen); });
    }
}

void Form1::PushButton8_Click() {
    QString fixedQuality = m_ui.Option22->text();
    fixedQuality.remove(QLatin1Char(':'));
    m_dialogs.message(m_ui.Option21->text() +
                          QStringLiteral(" will automatically detect the image quality of each "
                                         "input JPG file and use this information to create a "
                                         "similar quality output JPG file.") +
                          QStringLiteral("\r\n\r\n") + fixedQuality +
                          QStringLiteral(" will use the same image quality for every output JPG "
                                         "file.") +
                          QStringLiteral("\r\n\r\n") + m_ui.Option23->text() +
                          QStringLiteral(" will flip or rotate each input JPG file without "
                                         "re-encoding it, so the output JPG file loses no "
                                         "quality at all. An input JPG file whose size does not "
                                         "allow this is re-encoded as ") +
                          m_ui.Option21->text() +
                          QStringLiteral(" would do it. HEIF and AVIF files (HEIC photos "
                                         "included) are turned the same way, by the turn and "
                                         "mirror they are shown with."),
                      m_appTitle, MessageIcon::None);
}

}  // namespace zentavo
