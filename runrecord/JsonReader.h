#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <initializer_list>
#include <limits>
#include <optional>
#include <utility>

// The names an enum's values have in a file.
template <class Enum> using Names = std::initializer_list<std::pair<Enum, const char *>>;

template <class Enum> QString nameOf(const Names<Enum> &names, Enum value)
{
    for (const auto &[known, name] : names) {
        if (known == value)
            return QString::fromLatin1(name);
    }
    return {};
}

template <class Enum> std::optional<Enum> valueOf(const Names<Enum> &names, const QString &name)
{
    for (const auto &[value, known] : names) {
        if (name == QLatin1String(known))
            return value;
    }
    return std::nullopt;
}

// Reads typed values out of one JSON object, and those of the objects inside it through
// readers of their own, and keeps the first reason any of them could not.
class JsonReader
{
public:
    explicit JsonReader(const QJsonObject &fields);
    JsonReader(const JsonReader &) = delete;
    JsonReader &operator=(const JsonReader &) = delete;

    // A reader of an object inside, whose failures are this reader's, named by path.
    JsonReader inside(const QJsonObject &inner, const QString &path);
    QString string(const char *key);
    double number(const char *key);
    QJsonObject object(const char *key);
    QJsonArray array(const char *key);
    qint64 whole(const char *key, qint64 minimum = std::numeric_limits<int>::min(),
                 qint64 maximum = std::numeric_limits<int>::max());
    qint64 whole(const QJsonValue &number, QLatin1String name, qint64 minimum, qint64 maximum);
    template <class Enum> Enum named(const char *key, const Names<Enum> &names)
    {
        const QString name = string(key);
        const std::optional<Enum> found = valueOf(names, name);
        if (!found)
            fail(QStringLiteral("%1%2 \"%3\" unknown").arg(path, QLatin1String(key), name));
        return found.value_or(names.begin()->first);
    }
    void fail(const QString &why);
    bool hasFailed() const { return root->failed; }
    QString why() const { return root->reason; }

private:
    JsonReader(const QJsonObject &fields, QString path, JsonReader *root);

    QJsonValue value(const char *key, QJsonValue::Type type, const char *typeName);

    const QJsonObject fields;
    const QString path;
    JsonReader *const root;
    bool failed = false;
    QString reason;
};
