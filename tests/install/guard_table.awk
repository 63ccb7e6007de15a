# Reads what check_hardening.sh's guarded() gathers from one image, a record a line: S (a section: RVA,
# size, file offset, 1 when executable), T (an address in the table of call targets), D (the dispatch
# pointer's address and the image base), R (a DIR64 relocation's RVA), C (the TLS callback array's address),
# N and E (an export's name and RVA), L (a lea's address and the address it takes), B (the file's bytes, 16
# a line, in order). Prints one line for each address that breaks the rules of guarded(), sorted.
function number(text,    i, digit, value) {
    value = 0
    text = tolower(text)
    sub(/^0x/, "", text)
    for (i = 1; i <= length(text); i++) {
        digit = index("0123456789abcdef", substr(text, i, 1)) - 1
        if (digit < 0)
            return -1
        value = value * 16 + digit
    }
    return value
}
function hex(value,    text) {
    text = ""
    do {
        text = substr("0123456789ABCDEF", value % 16 + 1, 1) text
        value = int(value / 16)
    } while (value > 0)
    return "0x" text
}
function offset_of(rva,    i) {
    for (i = 1; i <= sections; i++)
        if (rva >= section_rva[i] && rva < section_rva[i] + section_size[i])
            return section_raw[i] + rva - section_rva[i]
    return -1
}
function executable(va,    i, rva) {
    rva = va - base
    for (i = 1; i <= sections; i++)
        if (section_executable[i] && rva >= section_rva[i] && rva < section_rva[i] + section_size[i])
            return 1
    return 0
}
function qword(va,    offset, i, value) {
    offset = offset_of(va - base)
    if (offset < 0)
        return 0
    value = 0
    for (i = 7; i >= 0; i--)
        value = value * 256 + byte[offset + i]
    return value
}
function valid(va) {
    return (va in table) || (int(va / 16) in open_slot)
}
function require(va, why) {
    if (!executable(va) || valid(va))
        return
    if (va in reasons)
        why = reasons[va] "; " why
    reasons[va] = why
}

# Addresses are above 2^32: as array keys they must print as whole numbers.
BEGIN { CONVFMT = "%.0f" }
$1 == "S" {
    sections++
    section_rva[sections] = number($2)
    section_size[sections] = number($3)
    section_raw[sections] = number($4)
    section_executable[sections] = $5
}
$1 == "T" {
    table[number($2)] = 1
    if (number($2) % 16)
        open_slot[int(number($2) / 16)] = 1
}
$1 == "D" { dispatch = $2; base = $3 }
$1 == "R" { relocations[++relocation_count] = number($2) }
$1 == "C" { callbacks = number($2) }
$1 == "N" { export_name = $2 }
$1 == "E" { exports[number($2)] = export_name }
$1 == "L" { leas[++lea_count] = $2 " " $3 }
$1 == "B" {
    for (i = 2; i <= NF; i++)
        byte[bytes++] = number($i)
}

END {
    stub = qword(dispatch)
    for (i = 1; i <= relocation_count; i++) {
        target = qword(base + relocations[i])
        if (target != stub)
            require(target, "stored as data at " hex(base + relocations[i]) " (DIR64 relocation)")
    }
    for (i = 1; i <= lea_count; i++) {
        split(leas[i], lea, " ")
        require(number(lea[2]), "taken by the lea at " hex(number(lea[1])))
    }
    for (at = callbacks; at && qword(at); at += 8)
        require(qword(at), "TLS callback (listed at " hex(at) "), which the loader calls")
    for (rva in exports)
        require(base + rva, "the export " exports[rva])
    for (va in reasons)
        print hex(va) " is not a valid call target but is " reasons[va] | "sort"
    close("sort")
    if (stub && valid(stub))
        print hex(stub) " is the dispatch pointer's first value (a jump through rax) but is a valid call target: " \
            "once Windows has replaced the pointer, a call to it jumps anywhere"
}
