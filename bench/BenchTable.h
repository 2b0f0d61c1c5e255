#pragma once

#include <QMap>
#include <QSize>
#include <QString>
#include <QTextStream>

// The benchmark's table on standard output: a row per measurement, each written as soon as it
// is measured.
class BenchTable
{
public:
    // A measurement's figures by name, as a child process reports them.
    using Values = QMap<QString, QString>;

    BenchTable();

    void header();
    void modeRow(const QString &sink, const QString &mode, const Values &v);
    void throughputRow(const QString &sink, QSize frameSize, int frames, const Values &v);
    void peerRow(const QString &mode, int frames, const Values &v);
    void memoryRow(const QString &sink, const QString &mode, double shortSeconds,
                   const Values &shortRun, double longSeconds, const Values &longRun);

private:
    QTextStream out;
};
