#pragma once

#include "ui/RunPanel.h"

#include <QString>

#include <functional>
#include <utility>

// Settings as the test sets them, and what the run showed.
class FakeRunPanel : public RunPanel
{
public:
    QString directory;
    int postponement = 100;
    int length = 100;
    QString program;
    bool beeps = false;
    bool preview = false;
    int cameraNumber = 1;
    // Runs while the chooser is open; then the chooser fills in chosenDirectory.
    std::function<void()> whileChoosing;
    QString chosenDirectory;
    int choosersOpened = 0;

    QString status = "ready";
    QString reason;
    QString time = "00:00";
    QString caption = "New record";
    bool previewShown = false;

    QString workingDirectory() const override { return directory; }
    int postponementSeconds() const override { return postponement; }
    int videoLengthSeconds() const override { return length; }
    QString programPath() const override { return program; }
    bool beepsWanted() const override { return beeps; }
    bool previewWanted() const override { return preview; }
    int camera() const override { return cameraNumber; }
    void chooseWorkingDirectory() override
    {
        ++choosersOpened;
        if (whileChoosing)
            std::exchange(whileChoosing, nullptr)();
        directory = chosenDirectory;
    }
    void showStatus(const QString &text, const QString &why) override
    {
        status = text;
        reason = why;
    }
    void showTime(const QString &text) override { time = text; }
    void showButtonCaption(const QString &text) override { caption = text; }
    void showPreview(bool shown) override { previewShown = shown; }
};
