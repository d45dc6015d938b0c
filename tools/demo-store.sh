# shellcheck shell=bash
# Sourced by the demo and the screenshot scripts: a job store with six jobs
# as a user would have them, saving into the user's Scans folder.
#   demo_store FILE en|de   writes the store file (the text form of a
#                           registry export, components/taskstore/README.md)
#   demo_scans_folder PREFIX  makes the Scans folder in a Wine prefix
demo_scans='C:\Users\Anna\Documents\Scans'

demo_scans_folder() { mkdir -p "$1/drive_c/users/Anna/Documents/Scans"; }

demo_store() {
    local file=$1 lang=$2
    _demo_job() { # number title filename filetype(0 BMP, 1 JPEG, 2 PDF, 3 TIFF)
        printf '[HKEY_CURRENT_USER\\Software\\Velmora Works\\Taskstore\\VX-410\\Jobs\\%03d]\r\n' "$1"
        printf '"title"="%s"\r\n"function id"=dword:00000000\r\n' "$2"
        printf '"save"=dword:00000001\r\n"mypicture"=dword:00000000\r\n'
        printf '"save_path"="%s"\r\n' "${demo_scans//\\/\\\\}"
        printf '"filename"="%s"\r\n"filetype"=dword:%08x\r\n\r\n' "$3" "$4"
    }
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n'
        printf '[HKEY_CURRENT_USER\\Software\\Velmora Works\\Taskstore\\VX-410\\Common]\r\n\r\n'
        if [ "$lang" = de ]; then
            _demo_job 1 "Rechnungen" "rechnung" 2
            _demo_job 2 "Lieferscheine" "lieferschein" 3
            _demo_job 5 "Verträge" "vertrag" 2
            _demo_job 7 "Fotos" "foto" 1
            _demo_job 12 "Briefe" "brief" 3
            _demo_job 20 "Zeichnungen" "zeichnung" 0
        else
            _demo_job 1 "Invoices" "inv" 2
            _demo_job 2 "Delivery notes" "dn" 3
            _demo_job 5 "Contracts" "contract" 2
            _demo_job 7 "Photos" "photo" 1
            _demo_job 12 "Letters" "letter" 3
            _demo_job 20 "Drawings" "drawing" 0
        fi
    } >"$file"
}
