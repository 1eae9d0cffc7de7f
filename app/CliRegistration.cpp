// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CliRegistration.h"

#include "app/CliExitStatus.h"
#include "platform/HostFlavor.h"
#include "session/Registration.h"
#include "shellfiles/RegistryKeys.h"

namespace kolvik::cli {
namespace {

InstallPlace FoundPlace(const Registration& registration) {
    InstallPlace place;
    place.windows = HostFlavor() == Flavor::Windows;
    registration.FindSystemFolders(place);
    return place;
}

// One line for each thing that was not done.
void Tell(ErrorLines& errors, const RegistrationResult& result, const InstallPlace& place) {
    const std::string start = "kolvik-cli: registreren is niet gelukt: ";
    if (result.programCopy != FileError::None)
        errors.Message(start + "het programma kon niet naar " + place.systemFolder +
                       " worden gekopieerd.");
    if (result.icon != FileError::None)
        errors.Message(start + "het pictogram kon niet naar " + place.iconFolder +
                       " worden geschreven.");
    if (!result.scriptsWritten || !result.imported)
        errors.Message(start + "de registerbestanden konden niet worden ingelezen.");
    if (!result.stored) errors.Message(start + "de instellingen konden niet worden opgeslagen.");
}

}  // namespace

int Register(console::Host& host, ErrorLines& errors, bool contextMenu) {
    Registration registration(*host.registry, host.facts, CurrentProgId());
    InstallPlace place = FoundPlace(registration);
    const RegistrationResult result =
        registration.Register(place, {YesNoText(true), YesNoText(contextMenu)});
    if (result.Done()) return kExitDone;
    Tell(errors, result, place);
    return kExitFilesLeft;
}

int Unregister(console::Host& host, ErrorLines& errors) {
    Registration registration(*host.registry, host.facts, CurrentProgId());
    if (registration.Unregister(FoundPlace(registration))) return kExitDone;
    errors.Message(
        "kolvik-cli: afmelden is niet gelukt: de instellingen konden niet worden opgeslagen.");
    return kExitFilesLeft;
}

}  // namespace kolvik::cli
