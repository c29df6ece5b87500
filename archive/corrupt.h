// Every way the installer finds its archive damaged: the codes of its
// corrupt-archive report, which veltpack verify gives for the same damage.
#pragma once

enum CorruptCode {
    kCorruptNegativeWriteSize = 5,      // the file writer was given a negative size
    kCorruptRawOffsetZero = 9,
    kCorruptRawOffsetUnreachable = 10,
    kCorruptMagic = 20,
    kCorruptVolumeNameBlank = 21,
    kCorruptDescriptionSize = 22,
    kCorruptIconOffset = 23,
    kCorruptDescriptionChecksum = 25,
    kCorruptFileCount = 27,
    kCorruptStoredSize = 28,
    kCorruptPayloadSize = 29,
    kCorruptNoLanguages = 30,
    kCorruptMessageCount = 31,
    kCorruptEndMarker = 32,
    kCorruptUninstallerNameBlank = 33,
    kCorruptStubUnreadable = 35,
    kCorruptStubChecksum = 40,
    kCorruptTailUnreadable = 42,
    kCorruptPeOffset = 43,
    kCorruptSectionCount = 44,
    kCorruptSectionDataSize = 45,
    kCorruptDescriptionUnpack = 47,
    kCorruptVolumeUnreadable = 50,
    kCorruptPayloadLength = 53,
    kCorruptPayloadChecksum = 55,
    kCorruptPayloadUnpack = 60,
    kCorruptFileNameEmpty = 70,
    kCorruptFileChecksum = 100,
    kCorruptDestKind = 110,
    kCorruptOverwriteMode = 112,
};

// Findings of the readers that are no corrupt-archive code: the program's
// file has no archive section (the installer then says that it performs
// installations), and the archive is of another format version (it then
// shows its version text).
constexpr int kNoArchiveSection = -1;
constexpr int kArchiveVersionMismatch = -2;

// What a code or finding means, in a sentence for people.
const char* CorruptCodeText(int code);
