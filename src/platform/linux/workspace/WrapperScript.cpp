#include "platform/linux/workspace/WrapperScript.h"

#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <optional>

namespace {

struct Assignment {
    qsizetype line = 0;
    std::optional<QString> value; // nothing: set more than once or otherwise
};

bool isNameChar(QChar c, bool first) {
    return c == u'_' || (c.isLetter() && c.unicode() < 128) ||
           (!first && c.isDigit() && c.unicode() < 128);
}

// One shell word made only of literal text, quotes and $NAME / ${NAME};
// anything else (command substitution, escapes, ${NAME:-x}) gives nothing.
// Names must be set by a line before beforeLine.
std::optional<QString> expandWord(const QString& text, qsizetype& i,
                                  const QHash<QString, Assignment>& vars, qsizetype beforeLine) {
    QString out;
    QChar quote;
    const auto reference = [&]() -> std::optional<QString> {
        ++i; // '$'
        const bool braced = i < text.size() && text[i] == u'{';
        if (braced)
            ++i;
        const qsizetype start = i;
        while (i < text.size() && isNameChar(text[i], i == start))
            ++i;
        const QString name = text.mid(start, i - start);
        if (name.isEmpty() || (braced && (i >= text.size() || text[i++] != u'}')))
            return std::nullopt;
        const auto it = vars.constFind(name);
        if (it == vars.cend() || !it->value || it->line >= beforeLine)
            return std::nullopt;
        return it->value;
    };
    while (i < text.size()) {
        const QChar c = text[i];
        if (quote.isNull() && c.isSpace())
            break;
        if (c == u'\\' || c == u'`' || (quote.isNull() && QStringLiteral(";&|<>()").contains(c)))
            return std::nullopt;
        if (c == u'$' && quote != u'\'') {
            const auto value = reference();
            if (!value)
                return std::nullopt;
            out += *value;
            continue;
        }
        if ((c == u'"' || c == u'\'') && (quote.isNull() || quote == c))
            quote = quote.isNull() ? c : QChar();
        else
            out += c;
        ++i;
    }
    if (!quote.isNull())
        return std::nullopt;
    return out;
}

} // namespace

bool WrapperScript::isShellScript(const QByteArray& contents) {
    if (!contents.startsWith("#!"))
        return false;
    const QList<QByteArray> words =
        contents.mid(2, contents.indexOf('\n') - 2).simplified().split(' ');
    QByteArray shell = QFileInfo(QString::fromUtf8(words.value(0))).fileName().toUtf8();
    if (shell == "env")
        shell = words.value(1);
    return shell == "sh" || shell == "bash" || shell == "dash";
}

QStringList WrapperScript::execPaths(const QByteArray& contents) {
    static const QRegularExpression assignment(
        QStringLiteral("^\\s*(?:export\\s+)?([A-Za-z_][A-Za-z0-9_]*)=(\\S*)\\s*$"));
    static const QRegularExpression exportOnly(
        QStringLiteral("^\\s*export(\\s+[A-Za-z_][A-Za-z0-9_]*)+\\s*$"));
    static const QRegularExpression execLine(QStringLiteral("^\\s*exec\\s+"));
    static const QRegularExpression word(QStringLiteral("[A-Za-z_][A-Za-z0-9_]*"));

    const QStringList lines = QString::fromUtf8(contents).split(u'\n');
    QHash<QString, Assignment> vars;
    QList<bool> plain(lines.size(), false);
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const auto match = assignment.match(lines[n]);
        if (!match.hasMatch())
            continue;
        plain[n] = true;
        const QString name = match.captured(1);
        if (vars.contains(name)) {
            vars[name].value.reset();
            continue;
        }
        qsizetype at = 0;
        const QString raw = match.captured(2);
        auto value = expandWord(raw, at, vars, n);
        vars.insert(name, {n, at == raw.size() ? value : std::nullopt});
    }
    // A name that appears bare anywhere else (read, for, unset, a second
    // assignment on a longer line) may change at run time.
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QString& line = lines[n];
        if (plain[n] || line.trimmed().startsWith(u'#') || exportOnly.match(line).hasMatch())
            continue;
        for (auto it = word.globalMatch(line); it.hasNext();) {
            const auto match = it.next();
            const qsizetype at = match.capturedStart();
            const bool referenced = (at >= 1 && line[at - 1] == u'$') ||
                                    (at >= 2 && line[at - 1] == u'{' && line[at - 2] == u'$');
            const auto var = vars.find(match.captured());
            if (!referenced && var != vars.end())
                var->value.reset();
        }
    }
    QStringList paths;
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const auto match = execLine.match(lines[n]);
        if (!match.hasMatch())
            continue;
        qsizetype at = match.capturedEnd();
        const auto program = expandWord(lines[n], at, vars, n);
        if (program && program->startsWith(u'/') && !paths.contains(*program))
            paths << *program;
    }
    return paths;
}
