#include "runrecord/JsonReader.h"

#include <cmath>

JsonReader::JsonReader(const QJsonObject &fields) : fields(fields), root(this) {}

JsonReader::JsonReader(const QJsonObject &fields, QString path, JsonReader *root)
    : fields(fields), path(std::move(path)), root(root)
{
}

JsonReader JsonReader::inside(const QJsonObject &inner, const QString &path)
{
    return JsonReader(inner, path, root);
}

QString JsonReader::string(const char *key)
{
    return value(key, QJsonValue::String, "a text").toString();
}

double JsonReader::number(const char *key)
{
    return value(key, QJsonValue::Double, "a number").toDouble();
}

QJsonObject JsonReader::object(const char *key)
{
    return value(key, QJsonValue::Object, "an object").toObject();
}

QJsonArray JsonReader::array(const char *key)
{
    return value(key, QJsonValue::Array, "a list").toArray();
}

qint64 JsonReader::whole(const char *key, qint64 minimum, qint64 maximum)
{
    return whole(value(key, QJsonValue::Double, "a number"), QLatin1String(key), minimum, maximum);
}

qint64 JsonReader::whole(const QJsonValue &number, QLatin1String name, qint64 minimum,
                         qint64 maximum)
{
    const double value = number.toDouble();
    if (!(number.isDouble() && std::floor(value) == value && value >= double(minimum) &&
          value <= double(maximum))) {
        fail(QStringLiteral("%1%2 not a whole number in range").arg(path, name));
        return 0;
    }
    return qint64(value);
}

void JsonReader::fail(const QString &why)
{
    if (!root->failed)
        root->reason = why;
    root->failed = true;
}

QJsonValue JsonReader::value(const char *key, QJsonValue::Type type, const char *typeName)
{
    const QJsonValue found = fields.value(QLatin1String(key));
    if (found.type() != type)
        fail(QStringLiteral("%1%2 missing or not %3")
                 .arg(path, QLatin1String(key), QLatin1String(typeName)));
    return found;
}
