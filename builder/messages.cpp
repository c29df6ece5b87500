#include "builder/messages.h"

namespace velt {

namespace {

struct Row {
    const char* en;
    const char* de;
    const char* fr;
    const char* es;
};

// Sources are UTF-8; the builder converts to Windows-1252. "<product>" and
// "<os>" are replaced by the installer, and the printf conversions of each
// row must stay the same in every language (see MessageConversions).
const Row kRows[kBuiltInMessageCount] = {
    /* 0 title */
    {"<product>", "<product>", "<product>", "<product>"},
    /* 1 welcome */
    {"Welcome to the installation of <product>.\r\n\r\nPlease close all other programs before you continue.\r\n\r\nDo you want to install <product> now?",
     "Willkommen bei der Installation von <product>.\r\n\r\nBitte schließen Sie alle anderen Programme, bevor Sie fortfahren.\r\n\r\nMöchten Sie <product> jetzt installieren?",
     "Bienvenue dans l'installation de <product>.\r\n\r\nVeuillez fermer tous les autres programmes avant de continuer.\r\n\r\nVoulez-vous installer <product> maintenant ?",
     "Bienvenido a la instalación de <product>.\r\n\r\nCierre todos los demás programas antes de continuar.\r\n\r\n¿Desea instalar <product> ahora?"},
    /* 2 caption: existing installation */
    {"<product> Is Already Installed", "<product> ist bereits installiert", "<product> est déjà installé", "<product> ya está instalado"},
    /* 3 existing, version unknown */
    {"A version of <product> is already installed in this folder:",
     "Eine Version von <product> ist bereits in diesem Ordner installiert:",
     "Une version de <product> est déjà installée dans ce dossier :",
     "Ya hay una versión de <product> instalada en esta carpeta:"},
    /* 4 existing, same version */
    {"This version of <product> is already installed in this folder:",
     "Diese Version von <product> ist bereits in diesem Ordner installiert:",
     "Cette version de <product> est déjà installée dans ce dossier :",
     "Esta versión de <product> ya está instalada en esta carpeta:"},
    /* 5 existing, older version */
    {"An older version of <product> is installed in this folder:",
     "Eine ältere Version von <product> ist in diesem Ordner installiert:",
     "Une version plus ancienne de <product> est installée dans ce dossier :",
     "Hay una versión anterior de <product> instalada en esta carpeta:"},
    /* 6 existing, newer version */
    {"A newer version of <product> is already installed in this folder:",
     "Eine neuere Version von <product> ist bereits in diesem Ordner installiert:",
     "Une version plus récente de <product> est déjà installée dans ce dossier :",
     "Ya hay una versión más reciente de <product> instalada en esta carpeta:"},
    /* 7 closing question */
    {"Do you want to continue with the installation?",
     "Möchten Sie mit der Installation fortfahren?",
     "Voulez-vous poursuivre l'installation ?",
     "¿Desea continuar con la instalación?"},
    /* 8 status: preparing */
    {"Preparing the installation...", "Die Installation wird vorbereitet...",
     "Préparation de l'installation...", "Preparando la instalación..."},
    /* 9 refuse reinstall */
    {"<product> is already installed on this computer.\r\n\r\nPlease uninstall it before you install it again.",
     "<product> ist auf diesem Computer bereits installiert.\r\n\r\nBitte deinstallieren Sie es, bevor Sie es erneut installieren.",
     "<product> est déjà installé sur cet ordinateur.\r\n\r\nVeuillez le désinstaller avant de le réinstaller.",
     "<product> ya está instalado en este equipo.\r\n\r\nDesinstálelo antes de volver a instalarlo."},
    /* 10 uninstall errors, %s = error text */
    {"<product> was uninstalled, but some items could not be removed:\r\n\r\n%s",
     "<product> wurde deinstalliert, aber einige Elemente konnten nicht entfernt werden:\r\n\r\n%s",
     "<product> a été désinstallé, mais certains éléments n'ont pas pu être supprimés :\r\n\r\n%s",
     "<product> se ha desinstalado, pero algunos elementos no se pudieron quitar:\r\n\r\n%s"},
    /* 11 choose-directory prompt */
    {"Choose the folder in which to install <product>:",
     "Wählen Sie den Ordner, in dem <product> installiert werden soll:",
     "Choisissez le dossier dans lequel installer <product> :",
     "Elija la carpeta en la que desea instalar <product>:"},
    /* 12 master missing, %s = master */
    {"<product> is an add-on for %s, which is not installed on this computer.\r\n\r\nPlease install it first.",
     "<product> ist eine Erweiterung für %s, das auf diesem Computer nicht installiert ist.\r\n\r\nBitte installieren Sie es zuerst.",
     "<product> est un complément de %s, qui n'est pas installé sur cet ordinateur.\r\n\r\nVeuillez d'abord l'installer.",
     "<product> es un complemento de %s, que no está instalado en este equipo.\r\n\r\nInstálelo primero."},
    /* 13 corrupt archive, %d = code */
    {"This installer is damaged and cannot continue.\r\n\r\nPlease ask your vendor for a new copy.\r\n\r\nError code: %d",
     "Dieses Installationsprogramm ist beschädigt und kann nicht fortfahren.\r\n\r\nBitte fordern Sie bei Ihrem Anbieter eine neue Kopie an.\r\n\r\nFehlercode: %d",
     "Ce programme d'installation est endommagé et ne peut pas continuer.\r\n\r\nVeuillez demander une nouvelle copie à votre fournisseur.\r\n\r\nCode d'erreur : %d",
     "Este instalador está dañado y no puede continuar.\r\n\r\nPida una copia nueva a su proveedor.\r\n\r\nCódigo de error: %d"},
    /* 14 invalid destination (followed by the directory) */
    {"This is not a valid folder name:", "Dies ist kein gültiger Ordnername:",
     "Ce nom de dossier n'est pas valide :", "Este nombre de carpeta no es válido:"},
    /* 15 caption: uninstall complete */
    {"<product> Uninstall", "Deinstallation von <product>", "Désinstallation de <product>", "Desinstalación de <product>"},
    /* 16 drive missing, %c = drive */
    {"Drive %c: is not available. Please choose another folder.",
     "Laufwerk %c: ist nicht verfügbar. Bitte wählen Sie einen anderen Ordner.",
     "Le lecteur %c: n'est pas disponible. Veuillez choisir un autre dossier.",
     "La unidad %c: no está disponible. Elija otra carpeta."},
    /* 17 drive root */
    {"Please choose a folder, not the root of a drive.",
     "Bitte wählen Sie einen Ordner, nicht das Stammverzeichnis eines Laufwerks.",
     "Veuillez choisir un dossier, et non la racine d'un lecteur.",
     "Elija una carpeta, no la raíz de una unidad."},
    /* 18 Program Files itself, %s = folder */
    {"<product> cannot be installed directly in %s.\r\n\r\nPlease choose a folder inside it.",
     "<product> kann nicht direkt in %s installiert werden.\r\n\r\nBitte wählen Sie einen Ordner darin.",
     "<product> ne peut pas être installé directement dans %s.\r\n\r\nVeuillez choisir un dossier à l'intérieur.",
     "<product> no se puede instalar directamente en %s.\r\n\r\nElija una carpeta dentro de ella."},
    /* 19 disk space, %s required, %c drive, %s free */
    {"The installation needs %s on drive %c:, but only %s is free.\r\n\r\nDo you want to install anyway?",
     "Die Installation benötigt %s auf Laufwerk %c:, aber nur %s sind frei.\r\n\r\nMöchten Sie trotzdem installieren?",
     "L'installation nécessite %s sur le lecteur %c:, mais seulement %s sont libres.\r\n\r\nVoulez-vous installer quand même ?",
     "La instalación necesita %s en la unidad %c:, pero solo hay %s libres.\r\n\r\n¿Desea instalar de todos modos?"},
    /* 20 caption of questions */
    {"<product> Setup", "Installation von <product>", "Installation de <product>", "Instalación de <product>"},
    /* 21 caption of errors */
    {"Error", "Fehler", "Erreur", "Error"},
    /* 22 confirm existing destination, %s = folder */
    {"<product> will be installed in the existing folder\r\n%s\r\n\r\nDo you want to continue?",
     "<product> wird in den vorhandenen Ordner\r\n%s\r\ninstalliert.\r\n\r\nMöchten Sie fortfahren?",
     "<product> sera installé dans le dossier existant\r\n%s\r\n\r\nVoulez-vous continuer ?",
     "<product> se instalará en la carpeta existente\r\n%s\r\n\r\n¿Desea continuar?"},
    /* 23 confirm creating the destination, %s = folder */
    {"The folder\r\n%s\r\ndoes not exist. Do you want to create it and install <product> there?",
     "Der Ordner\r\n%s\r\nexistiert nicht. Möchten Sie ihn erstellen und <product> dort installieren?",
     "Le dossier\r\n%s\r\nn'existe pas. Voulez-vous le créer et y installer <product> ?",
     "La carpeta\r\n%s\r\nno existe. ¿Desea crearla e instalar <product> en ella?"},
    /* 24 caption: destination */
    {"Destination Folder", "Zielordner", "Dossier de destination", "Carpeta de destino"},
    /* 25 directory not created (followed by the directory) */
    {"The folder could not be created:", "Der Ordner konnte nicht erstellt werden:",
     "Impossible de créer le dossier :", "No se pudo crear la carpeta:"},
    /* 26 next volume, %d = number, %c = drive */
    {"Please insert disk %d of the installation in drive %c: and click OK.",
     "Bitte legen Sie Datenträger %d der Installation in Laufwerk %c: ein und klicken Sie auf OK.",
     "Veuillez insérer le disque %d de l'installation dans le lecteur %c: puis cliquer sur OK.",
     "Inserte el disco %d de la instalación en la unidad %c: y haga clic en Aceptar."},
    /* 27 caption: next volume */
    {"Next Disk", "Nächster Datenträger", "Disque suivant", "Disco siguiente"},
    /* 28 cancel confirmation */
    {"Do you really want to cancel the installation of <product>?",
     "Möchten Sie die Installation von <product> wirklich abbrechen?",
     "Voulez-vous vraiment annuler l'installation de <product> ?",
     "¿Seguro que desea cancelar la instalación de <product>?"},
    /* 29 status: unpacking */
    {"Unpacking the files...", "Die Dateien werden entpackt...",
     "Décompression des fichiers...", "Descomprimiendo los archivos..."},
    /* 30 kept for the uninstaller */
    {"Uninstall information for <product>", "Deinstallationsdaten für <product>",
     "Informations de désinstallation de <product>", "Información de desinstalación de <product>"},
    /* 31 error line prefix (followed by a path) */
    {"Could not write:", "Konnte nicht geschrieben werden:", "Écriture impossible :", "No se pudo escribir:"},
    /* 32 status: shortcuts and registry */
    {"Creating shortcuts and registry entries...", "Verknüpfungen und Registrierungseinträge werden erstellt...",
     "Création des raccourcis et des entrées du registre...", "Creando accesos directos y entradas del registro..."},
    /* 33 uninstall shortcut (followed by the product name) */
    {"Uninstall", "Deinstallation von", "Désinstaller", "Desinstalar"},
    /* 34 uninstall complete */
    {"<product> was removed from your computer.", "<product> wurde von Ihrem Computer entfernt.",
     "<product> a été supprimé de votre ordinateur.", "<product> se ha quitado de su equipo."},
    /* 35 caption: shared file question */
    {"Remove Shared File?", "Gemeinsame Datei entfernen?", "Supprimer le fichier partagé ?", "¿Quitar el archivo compartido?"},
    /* 36 status: final step */
    {"Finishing the installation...", "Die Installation wird abgeschlossen...",
     "Fin de l'installation...", "Finalizando la instalación..."},
    /* 37 restart question */
    {"Windows must be restarted to finish the installation of <product>.\r\n\r\nDo you want to restart now?",
     "Windows muss neu gestartet werden, um die Installation von <product> abzuschließen.\r\n\r\nMöchten Sie jetzt neu starten?",
     "Windows doit redémarrer pour terminer l'installation de <product>.\r\n\r\nVoulez-vous redémarrer maintenant ?",
     "Es necesario reiniciar Windows para terminar la instalación de <product>.\r\n\r\n¿Desea reiniciar ahora?"},
    /* 38 not used */
    {"", "", "", ""},
    /* 39 progress dialog text */
    {"Please wait while <product> is installed.", "Bitte warten Sie, während <product> installiert wird.",
     "Veuillez patienter pendant l'installation de <product>.", "Espere mientras se instala <product>."},
    /* 40 errors logged, %s = log path */
    {"The installation finished with errors. The details were written to\r\n%s\r\n\r\nDo you want to see them now?",
     "Die Installation wurde mit Fehlern beendet. Die Einzelheiten stehen in\r\n%s\r\n\r\nMöchten Sie sie jetzt ansehen?",
     "L'installation s'est terminée avec des erreurs. Les détails ont été écrits dans\r\n%s\r\n\r\nVoulez-vous les afficher maintenant ?",
     "La instalación terminó con errores. Los detalles se escribieron en\r\n%s\r\n\r\n¿Desea verlos ahora?"},
    /* 41 caption: errors */
    {"Installation Errors", "Installationsfehler", "Erreurs d'installation", "Errores de instalación"},
    /* 42 complete */
    {"<product> was installed successfully.", "<product> wurde erfolgreich installiert.",
     "<product> a été installé avec succès.", "<product> se ha instalado correctamente."},
    /* 43 caption: complete */
    {"Installation Complete", "Installation abgeschlossen", "Installation terminée", "Instalación completada"},
    /* 44 licence caption */
    {"License Agreement", "Lizenzvertrag", "Contrat de licence", "Contrato de licencia"},
    /* 45 accept */
    {"I &Accept", "Ich &stimme zu", "J'&accepte", "&Acepto"},
    /* 46 decline */
    {"I &Decline", "Ich &lehne ab", "Je &refuse", "&No acepto"},
    /* 47 licence prompt */
    {"Please read the following license agreement. You must accept it to install <product>.",
     "Bitte lesen Sie den folgenden Lizenzvertrag. Sie müssen ihm zustimmen, um <product> zu installieren.",
     "Veuillez lire le contrat de licence suivant. Vous devez l'accepter pour installer <product>.",
     "Lea el siguiente contrato de licencia. Debe aceptarlo para instalar <product>."},
    /* 48 OK */
    {"OK", "OK", "OK", "Aceptar"},
    /* 49 Cancel */
    {"Cancel", "Abbrechen", "Annuler", "Cancelar"},
    /* 50 readme caption */
    {"Read Me", "Liesmich", "Lisez-moi", "Léame"},
    /* 51 readme prompt */
    {"Please read the following information before you continue.",
     "Bitte lesen Sie die folgenden Informationen, bevor Sie fortfahren.",
     "Veuillez lire les informations suivantes avant de continuer.",
     "Lea la siguiente información antes de continuar."},
    /* 52 browse */
    {"&Browse...", "&Durchsuchen...", "&Parcourir...", "E&xaminar..."},
    /* 53 uninstall confirmation */
    {"Do you want to remove <product> and all of its components from your computer?",
     "Möchten Sie <product> und alle zugehörigen Komponenten von Ihrem Computer entfernen?",
     "Voulez-vous supprimer <product> et tous ses composants de votre ordinateur ?",
     "¿Desea quitar <product> y todos sus componentes de su equipo?"},
    /* 54 progress caption */
    {"Installing <product>", "<product> wird installiert", "Installation de <product>", "Instalando <product>"},
    /* 55 caption: uninstall confirmation */
    {"Uninstall <product>", "<product> deinstallieren", "Désinstaller <product>", "Desinstalar <product>"},
    /* 56 font question, %s = font */
    {"Do you want to remove the font \"%s\"?", "Möchten Sie die Schriftart \"%s\" entfernen?",
     "Voulez-vous supprimer la police « %s » ?", "¿Desea quitar la fuente \"%s\"?"},
    /* 57 caption: font question */
    {"Remove Font?", "Schriftart entfernen?", "Supprimer la police ?", "¿Quitar la fuente?"},
    /* 58 uninstall error prefix (followed by a path) */
    {"Could not remove:", "Konnte nicht entfernt werden:", "Suppression impossible :", "No se pudo quitar:"},
    /* 59 shared file question, %s = file */
    {"No program uses the shared file\r\n%s\r\nany more.\r\n\r\nDo you want to delete it? If you are not sure, choose No.",
     "Kein Programm verwendet die gemeinsame Datei\r\n%s\r\nnoch.\r\n\r\nMöchten Sie sie löschen? Wenn Sie unsicher sind, wählen Sie Nein.",
     "Aucun programme n'utilise plus le fichier partagé\r\n%s\r\n\r\nVoulez-vous le supprimer ? En cas de doute, choisissez Non.",
     "Ningún programa usa ya el archivo compartido\r\n%s\r\n\r\n¿Desea eliminarlo? Si no está seguro, elija No."},
};

std::vector<MessageSet> MakeSets()
{
    std::vector<MessageSet> sets = {
        {"en", "English", {}}, {"de", "Deutsch", {}}, {"fr", "Français", {}}, {"es", "Español", {}}};
    for (const Row& row : kRows) {
        sets[0].texts.push_back(row.en);
        sets[1].texts.push_back(row.de);
        sets[2].texts.push_back(row.fr);
        sets[3].texts.push_back(row.es);
    }
    return sets;
}

} // namespace

const std::vector<MessageSet>& MessageSets()
{
    static const std::vector<MessageSet> sets = MakeSets();
    return sets;
}

const MessageSet* FindMessageSet(const std::string& code)
{
    for (const MessageSet& set : MessageSets())
        if (code == set.code)
            return &set;
    return nullptr;
}

const char* MessageConversions(int number)
{
    switch (number) {
    case MsgUninstallErrors: case MsgMasterMissing: case MsgDestinationProgramFiles:
    case MsgConfirmExistingDir: case MsgConfirmCreateDir: case MsgLogWrittenQuestion:
    case MsgFontQuestion: case MsgSharedFileQuestion:
        return "s";
    case MsgCorruptArchive:
        return "d";
    case MsgDriveNotAvailable:
        return "c";
    case MsgNotEnoughSpace:
        return "scs";
    case MsgNextVolume:
        return "dc";
    default:
        return nullptr;
    }
}

std::string ConversionsOf(const std::string& text)
{
    std::string found;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] != '%')
            continue;
        char next = i + 1 < text.size() ? text[i + 1] : 0;
        i++;
        if (next == '%')
            continue;
        if (next != 's' && next != 'd' && next != 'c')
            return "?";
        found.push_back(next);
    }
    return found;
}

} // namespace velt
