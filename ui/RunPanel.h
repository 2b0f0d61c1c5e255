#pragma once

#include <QString>

// What a recording run needs of the window: the settings, which the run reads at the moments
// it needs them (so that an operator may still change them during a run), and the texts and
// the preview that show the run's progress.
class RunPanel
{
public:
    virtual ~RunPanel() = default;

    virtual QString workingDirectory() const = 0;
    virtual int postponementSeconds() const = 0;
    virtual int videoLengthSeconds() const = 0;
    // Empty when no program is to run before recording.
    virtual QString programPath() const = 0;
    virtual bool beepsWanted() const = 0;
    virtual bool previewWanted() const = 0;
    // The chosen camera's position in the camera list, -1 when the list is empty.
    virtual int camera() const = 0;

    // Opens the directory chooser and returns once the operator has closed it.
    virtual void chooseWorkingDirectory() = 0;

    // reason: what brought the status about, in one line for its tooltip; empty for a status
    // that needs no explanation.
    virtual void showStatus(const QString &status, const QString &reason) = 0;
    virtual void showTime(const QString &time) = 0;
    virtual void showButtonCaption(const QString &caption) = 0;
    virtual void showPreview(bool shown) = 0;
};
