#pragma once

#include <QByteArray>
#include <QStringList>

// Reads a launcher shell script for the programs it execs, the way a
// distribution's wrapper in /usr/bin starts the real binary.
class WrapperScript {
public:
    // Whether contents start with a #! line naming sh, bash or dash.
    static bool isShellScript(const QByteArray& contents);
    // The absolute paths of "exec PROGRAM ..." lines, with $NAME and ${NAME}
    // expanded from plain NAME=value lines of the script itself. A variable
    // set twice, set any other way, or not set before the exec makes that
    // line give nothing.
    static QStringList execPaths(const QByteArray& contents);
};
