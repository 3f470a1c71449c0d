#pragma once

#include <QString>

// Where the board keeps its files.
//
// Portable: a writable folder holding the executable, with the sounds, the
// cursor and wtIMG/ beside it; the store and the first-close marker are
// written there too. This is build/app-folder.
//
// Installed: the executable in <prefix>/bin and its read-only files in
// <prefix>/share/rorizedivo. Nothing may be written there, so each user gets
// an application folder of their own, $XDG_DATA_HOME/rorizedivo (by default
// ~/.local/share/rorizedivo), made on the first start and given links to the
// read-only files. A portable folder that cannot be written is treated the
// same way, its own files standing in for the installed ones.
struct ApplicationFolder
{
    // What the choice depends on, gathered by forExecutable().
    struct Inputs
    {
        QString executableFolder;
        bool executableFolderWritable = true;
        // <executableFolder>/../share/rorizedivo exists: an installed layout.
        bool installedDataPresent = false;
        QString xdgDataHome; // as set in the environment, possibly empty
        QString home;
    };

    // The folder the board reads and writes: the store, the marker, wtIMG/
    // and the single-instance lock live here.
    QString path;
    // Where the read-only files come from; the same as path when portable.
    QString dataFolder;

    bool isPerUser() const { return path != dataFolder; }

    static ApplicationFolder resolve(const Inputs &inputs);
    // resolve() with the inputs of this process and file system.
    static ApplicationFolder forExecutable(const QString &executableFolder);

    // Makes the folder and wtIMG/ when missing and, for a per-user folder,
    // links each read-only file into it: the sounds, the cursor and every
    // map picture. A file of the same name that the user put there is kept;
    // a link to another place (an older install) is replaced. Changes
    // nothing when all is in place. False when the folder cannot be made.
    bool prepare() const;
};
