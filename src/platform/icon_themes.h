#pragma once
// Icons found by name in the freedesktop icon themes. The lookup is ours
// rather than the toolkit's so that each file is looked at before anything
// reads it, and so that every lookup searches only the folders it is given:
// a bundle's icons are found for that bundle alone. Files are only found
// here, never read; index.theme files are read through UserFile, so a FIFO
// or a huge file in their place is refused. Main thread only.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <unordered_map>
#include <vector>

class IconThemes {
public:
    // One folder of a theme, as its index.theme describes it.
    struct Folder {
        QString path;   // under the theme's folder: "48x48/apps"
        int size = 0;   // its icons' nominal edge
        int scale = 1;  // pixels per nominal unit
        bool scalable = false;
    };

    struct Index {
        QStringList inherits;
        std::vector<Folder> folders;
    };

    // The [Icon Theme] group's Directories and ScaledDirectories, each with
    // its own group's Size, Scale and Type.
    static Index parse(const QByteArray& text);

    // A file that may hold the icon.
    struct Candidate {
        QString path;
        int pixels = 0; // edge in pixels; 0 for a drawing of any size
        bool operator==(const Candidate&) const = default;
    };

    // The regular files for `name` (.png, .svg or .xpm) in the first of
    // `theme`, the themes it inherits and hicolor that has any, under the
    // icon folders `bases` (most preferred first). The best for drawing
    // about `pixels` wide comes first: a drawing of any size, then the
    // smallest as large as that, then the largest smaller.
    std::vector<Candidate> find(const QString& name, const QString& theme, const QStringList& bases,
                                int pixels);

private:
    // A theme's index, read from the first base holding one.
    const Index* index(const QString& theme, const QStringList& bases);
    // The folders of `index` that exist under `themeDir`, in index order.
    const std::vector<const Folder*>& present(const QString& themeDir, const Index& index);

    std::unordered_map<QString, Index> indexes_;   // index.theme path → index
    std::unordered_map<QString, std::vector<const Folder*>> present_; // theme folder → folders there
};
