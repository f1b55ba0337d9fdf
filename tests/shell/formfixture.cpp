#include "tests/shell/formfixture.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>

namespace zentavo::test {

void FormTest::SetUp() {
    ASSERT_TRUE(m_dir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
}

void FormTest::TearDown() {
    m_form.reset();
    m_settings.reset();
}

void FormTest::storeValue(const QString& key, const QString& value) {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Corvanta"),
                    QStringLiteral("Zentavo"));
    store.setValue(key, value);
    store.sync();
}

QString FormTest::storedValue(const QString& key) const {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Corvanta"),
                    QStringLiteral("Zentavo"));
    return store.value(key).toString();
}

Form1& FormTest::loadForm() {
    m_settings = std::make_unique<SettingsStore>();
    m_settings->setWriteObserver([this](const QString& key, const QString& value) {
        m_writes << key + QLatin1Char('=') + value;
    });
    m_form = std::make_unique<Form1>(m_dialogs, *m_settings, m_startup);
    m_form->setDesktopOpener(m_opener);
    if (!m_programFolder.isEmpty()) {
        m_form->setProgramFolder(m_programFolder);
    }
    m_form->Form_Load();
    m_form->show();
    return *m_form;
}

QRadioButton* FormTest::option(const char* name) const {
    return m_form->findChild<QRadioButton*>(QLatin1String(name));
}

QGroupBox* FormTest::frame(const char* name) const {
    return m_form->findChild<QGroupBox*>(QLatin1String(name));
}

QPushButton* FormTest::button(const char* name) const {
    return m_form->findChild<QPushButton*>(QLatin1String(name));
}

QSlider* FormTest::slider() const {
    return m_form->findChild<QSlider*>(QStringLiteral("Slider1"));
}

QLineEdit* FormTest::text1() const {
    return m_form->findChild<QLineEdit*>(QStringLiteral("Text1"));
}

}  // namespace zentavo::test
