# Writes the Debian changelog of the package from CHANGELOG.md: one entry per
# released version, newest first, each bullet an item wrapped at 78 columns.
# Usage: awk -v package=NAME -v maintainer="Name <mail>" -f debian-changelog.awk CHANGELOG.md

function flush_item() {
    if (item == "") return
    n = split(item, words, " ")
    line = "  *"
    for (i = 1; i <= n; i++) {
        if (length(line) + 1 + length(words[i]) > 78) {
            print line
            line = "   "
        }
        line = line " " words[i]
    }
    print line
    item = ""
}

function end_entry() {
    flush_item()
    if (version == "") return
    cmd = "date -u -R -d '" date " 12:00'"
    cmd | getline stamp
    close(cmd)
    print ""
    print " -- " maintainer "  " stamp
    version = ""
}

/^## \[[0-9][^]]*\] - [0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]/ {
    end_entry()
    if (entries++ > 0) print ""
    version = $2
    gsub(/[][]/, "", version)
    date = $4
    print package " (" version ") stable; urgency=medium"
    print ""
    next
}
/^## / { end_entry(); next }
version == "" { next }
/^### / { flush_item(); next }
/^- / { flush_item(); item = substr($0, 3); next }
/^  [^ ]/ && item != "" { item = item " " substr($0, 3); next }
/^$/ { flush_item(); next }
END { end_entry() }
