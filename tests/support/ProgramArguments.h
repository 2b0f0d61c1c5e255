#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// A writable command line for one application object, program name first. The application
// keeps a reference to the count, so this must outlive it.
class ProgramArguments
{
public:
    explicit ProgramArguments(const QStringList &arguments = {})
    {
        storage.push_back("eyeblink-recorder");
        for (const QString &argument : arguments)
            storage.push_back(argument.toUtf8());
        for (QByteArray &argument : storage)
            pointers.push_back(argument.data());
        pointers.push_back(nullptr);
        count = int(storage.size());
    }
    int count;
    char **values() { return pointers.data(); }

private:
    std::vector<QByteArray> storage;
    std::vector<char *> pointers;
};
