#pragma once

#include "shell/form1.h"
#include "shell/settingsstore.h"
#include "shell/startupobject.h"
#include "tests/testsupport.h"

#include <gtest/gtest.h>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;

namespace zentavo::test {

// A start-up object whose answer the test chooses; counts the calls.
class ScriptedStartup : public StartupObject {
public:
    bool succeeds = true;
    int starts = 0;
    int ends = 0;
    bool start() override {
        ++starts;
        return succeeds;
    }
    void end() override { ++ends; }
};

// Records what the window hands to the desktop; opens nothing.
class RecordingOpener : public DesktopOpener {
public:
    QStringList files;
    QStringList folders;
    void openFile(const QString& path) override { files << path; }
    void openFolder(const QString& folder) override { folders << folder; }
};

// A window over a settings store of its own in a temporary folder, with scripted dialogs. Every
// write to the store is recorded as "key=value"; what it opens on the desktop is recorded too.
class FormTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Puts a value into the store as an earlier run of the program would have left it.
    void storeValue(const QString& key, const QString& value);
    // The text the store holds for key; the empty text when absent.
    QString storedValue(const QString& key) const;
    // Builds and loads the window; the writes of loading are recorded too.
    Form1& loadForm();

    QRadioButton* option(const char* name) const;
    QGroupBox* frame(const char* name) const;
    QPushButton* button(const char* name) const;
    QSlider* slider() const;
    QLineEdit* text1() const;

    QTemporaryDir m_dir;
    ScriptedDialogs m_dialogs;
    ScriptedStartup m_startup;
    RecordingOpener m_opener;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<Form1> m_form;
    QStringList m_writes;
    QString m_programFolder;  // where the window looks for its pointers; its default when empty
};

}  // namespace zentavo::test
