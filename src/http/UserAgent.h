#pragma once

#include <QString>

// The "User-Agent" sent by requests that set none.
class UserAgent
{
public:
    // "name version (X11; Linux a.b.c; locale)", built anew on every call; a null string when
    // the kernel version has not three numbers.
    static QString defaultUserAgentString();
    // The first three numbers of a kernel release such as "6.1.0-13-amd64", or a null string.
    static QString threeNumberVersion(const QString &release);
};
