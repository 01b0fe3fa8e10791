#pragma once

#include <QString>

// Names of files written beside videos, made from what services and archives say. Such a
// name shows no character a terminal or a file manager would act on, and fits the file system.
namespace SubtitleFileName {

// The most bytes of UTF-8 a file name may take.
constexpr qsizetype LongestName = 255;

// Control characters, line separators, noncharacters and unpaired surrogates each become an
// underscore, so that no two names merge by losing them.
QString visible(const QString &name);

// stem followed by suffix (the extension with its dot, and any language mark before it). A
// name too long for the file system loses the end of its stem, never part of a character;
// a suffix too long to keep is cut with the rest.
QString fitted(const QString &stem, const QString &suffix);

} // namespace SubtitleFileName
