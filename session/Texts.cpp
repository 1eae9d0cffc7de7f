// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/Texts.h"

namespace kolvik {

std::string_view LeftReasonText(LeftReason reason) {
    switch (reason) {
        case LeftReason::ModifiedAfterModePress:
            return "gewijzigd na het kiezen van de modus";
        case LeftReason::ChangedDuringRun:
            return "gewijzigd tijdens het bewerken";
        case LeftReason::InUse:
            return "in gebruik door een ander programma";
        case LeftReason::NotRegularFile:
            return "geen gewoon bestand";
        case LeftReason::SeveralNames:
            return "heeft meerdere namen (harde koppelingen)";
        case LeftReason::NameTaken:
            return "de nieuwe naam bestaat al";
        case LeftReason::NameUnusable:
            return "geen bruikbare nieuwe naam";
        case LeftReason::WrongKey:
            return "Onjuiste sleutel";
        case LeftReason::Damaged:
            return "beschadigd";
        case LeftReason::DiskFull:
            return "schijf vol";
        case LeftReason::AccessDenied:
            return "geen toegang";
        case LeftReason::NotFound:
            return "niet gevonden";
        case LeftReason::ReadWriteError:
            return "lees- of schrijffout";
        case LeftReason::SkipWordFolder:
            return "systeemmap, overgeslagen";
        case LeftReason::FolderBecameLink:
            return "map is tijdens het bewerken een koppeling geworden";
        case LeftReason::FolderUnreadable:
            return "map kan niet worden gelezen";
        case LeftReason::PropertiesNotKept:
            return "eigenschappen kunnen niet worden behouden";
        case LeftReason::HeldByOtherRun:
            return "in gebruik door een andere Kolvik";
        case LeftReason::Unguarded:
            return "kan niet bewaakt worden";
        case LeftReason::KolNamePassedOver:
            return "naam eindigt op kol, overgeslagen";
        case LeftReason::KolvikOwnFile:
            return "bestand van Kolvik zelf, overgeslagen";
        case LeftReason::Undeletable:
            return "beveiligd tegen verwijderen";
        case LeftReason::OtherMount:
            return "andere schijf, overgeslagen";
        case LeftReason::RunInput:
            return "het wachtwoordbestand van deze run, overgeslagen";
        case LeftReason::NotReached:
            return "niet bereikt: de run is eerder gestopt";
        case LeftReason::NotOverwritten:
            return "versleuteld, maar het origineel is niet overschreven";
        case LeftReason::NotOverwrittenInUse:
            return "versleuteld, maar het origineel is niet overschreven: in gebruik door een "
                   "ander programma";
    }
    return "onbekende reden";
}

std::string LeftText(const std::string& path, LeftReason reason) {
    return path + ": " + std::string(LeftReasonText(reason));
}

std::string UnusablePathText(const std::string& path, TargetRefusal refusal) {
    return "Kolvik kan dit pad niet gebruiken: " + path + "\r\n" +
           std::string(TargetRefusalText(refusal));
}

std::string NoAccessText(const std::string& path) {
    return "Kan geen toegang krijgen tot: " + path;
}

std::string DiskFullText(const std::string& folder) { return "Schijf vol: " + folder; }

std::string FileSystemNoteText(FileSystemNote note, const std::string& folder,
                               const std::string& fileSystem) {
    if (note == FileSystemNote::Shared) {
        return "Let op: " + folder + " ligt op een gedeeld bestandssysteem (" + fileSystem +
               ") waarop een andere computer of koppeling ongezien kan schrijven; Kolvik laat de "
               "bestanden daar staan. Start Kolvik op de computer waar de schijf zit.";
    }
    return "Let op: " + folder + " ligt op een bestandssysteem dat oude blokken bewaart (" +
           fileSystem +
           "); de oorspronkelijke bytes kunnen op de schijf achterblijven. Gebruik volledige "
           "schijfversleuteling.";
}

std::string LogUnwritableText(const std::string& logPath) {
    return "Het logboek kan niet worden geschreven: " + logPath;
}

std::string InstalledProgramsText(const std::string& programFolder) {
    return "Kolvik is gestart zonder map of bestand en zou dan de programmamap " + programFolder +
           " bewerken. Daar staan ge\xC3\xAFnstalleerde programma's; deze map wordt niet "
           "aangeraakt.\r\n"
           "Gebruik \"Besleutel met Kolvik\" op een map of een bestand.";
}

std::string_view TargetRefusalText(TargetRefusal refusal) {
    switch (refusal) {
        case TargetRefusal::None:
            return {};
        case TargetRefusal::NotFound:
            return "het bestaat niet.";
        case TargetRefusal::NoAccess:
            return "Kolvik heeft er geen toegang toe.";
        case TargetRefusal::NotFileOrFolder:
            return "het is geen gewoon bestand of map.";
        case TargetRefusal::NoExtension:
            return "een bestand zonder extensie kan niet worden versleuteld.";
    }
    return {};
}

std::string_view ModeRefusalText(ModeRefusal refusal) {
    switch (refusal) {
        case ModeRefusal::None:
            return {};
        case ModeRefusal::Unequal:
            return "Ongelijke invoer";
        case ModeRefusal::Empty:
            return "Geef een wachtwoord op.";
        case ModeRefusal::NotStorable:
            return "Het wachtwoord bevat tekens die Kolvik niet kan gebruiken (alleen tekens uit "
                   "Windows-1252).";
    }
    return {};
}

std::vector<std::string> SummaryLines(const RunStats& stats, bool decrypt,
                                      const std::string& folder, std::int64_t seconds) {
    return {"  ",
            "Map: " + folder,
            std::string(decrypt ? "Ontsleuteld: " : "Versleuteld: ") +
                std::to_string(stats.FilesDone) + " bestanden",
            "Overgeslagen: " + std::to_string(stats.FilesSkipped) + " bestanden",
            "Totaal: " + std::to_string(stats.BytesDone) + " bytes",
            "Verstreken tijd: " + std::to_string(seconds / 60) + " min " +
                std::to_string(seconds % 60) + " sec"};
}

}  // namespace kolvik
