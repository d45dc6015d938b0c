#!/usr/bin/env bash
# The package's tables, as msiinfo reads them: launch conditions refuse a
# 32-bit Windows and a user without administrator rights before anything
# changes, the older version is removed before anything is installed, COM
# goes through the package's own tables (no self-registration), the service
# start is a registry row and a custom action, a running job and an open
# corvid stop the installation before anything changes.
#   package_tables_test.sh PACKAGE.msi
set -u
msi=$1
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
table() { msiinfo export "$msi" "$1" 2>/dev/null | tr -d '\r' | tail -n +4; }
seq_of() { table InstallExecuteSequence | awk -F'\t' -v a="$1" '$1 == a {print $3}'; }

conds=$(table LaunchCondition)
grep -qP '^VersionNT64\t.*64-bit' <<<"$conds" || fail "no 64-bit launch condition: $conds"
grep -qP '^Privileged\t.*administrator' <<<"$conds" || fail "no administrator launch condition: $conds"
grep -qP '^NOT WIX_DOWNGRADE_DETECTED\t.*newer version' <<<"$conds" || fail "no downgrade condition"
lc=$(seq_of LaunchConditions) ii=$(seq_of InstallInitialize) iv=$(seq_of InstallValidate)
rep=$(seq_of RemoveExistingProducts) frp=$(seq_of FindRelatedProducts)
[ -n "$lc" ] && [ "$frp" -lt "$lc" ] && [ "$lc" -lt "$iv" ] ||
    fail "launch conditions not checked first (FindRelatedProducts $frp, LaunchConditions $lc)"
[ -n "$rep" ] && [ "$iv" -lt "$rep" ] && [ "$rep" -lt "$ii" ] ||
    fail "RemoveExistingProducts ($rep) not between InstallValidate ($iv) and InstallInitialize ($ii)"
stop=$(seq_of StopScannerService)
[ -n "$stop" ] && [ "$iv" -lt "$stop" ] && [ "$stop" -lt "$rep" ] ||
    fail "the scanner service is not stopped ($stop) before the older version goes ($rep)"
# A running job or an open corvid ends the installation before anything
# changes: both come before the service stop and fail when they fail.
wait_job=$(seq_of WaitForJob) close_corvid=$(seq_of CloseCorvid)
[ -n "$wait_job" ] && [ -n "$close_corvid" ] && [ "$iv" -lt "$wait_job" ] &&
    [ "$wait_job" -lt "$close_corvid" ] && [ "$close_corvid" -lt "$stop" ] ||
    fail "job wait ($wait_job) and corvid close ($close_corvid) not before the service stop ($stop)"
for a in WaitForJob CloseCorvid; do
    type=$(table CustomAction | awk -F'\t' -v a=$a '$1 == a {print $2}')
    [ -n "$type" ] && [ $((type & 64)) -eq 0 ] || fail "$a (type ${type:-none}) does not stop the installation"
done
[ "$(seq_of StartCorvid)" -gt "$(seq_of InstallFinalize)" ] || fail "corvid is not started again at the end"
[ "$(seq_of RegisterProduct)" -lt "$(seq_of WriteRegistryValues)" ] ||
    fail "the installed-programs entry is made after the registry rows (Wine zeroes its size)"
[ -n "$(seq_of RegisterTypeLibraries)" ] && [ -n "$(seq_of UnregisterTypeLibraries)" ] ||
    fail "type libraries are not registered by the installer"
[ "$(table TypeLib | wc -l)" -eq 2 ] || fail "type libraries: $(table TypeLib)"
[ -z "$(table SelfReg)" ] || fail "self-registration: $(table SelfReg)"
grep -qP '\tInprocServer32\t|\\InprocServer32\t\t\[#' <<<"$(table Registry)" ||
    fail "no InprocServer32 rows"
grep -qP 'CurrentVersion\\Run\tVX-410 Scanner Service\t"\[#' <<<"$(table Registry)" ||
    fail "no log-on start of the scanner service"
grep -qP '^StartScannerService\t' <<<"$(table CustomAction)" || fail "no service start after the install"
props=$(table Property)
for p in ARPPRODUCTICON ARPSIZE ARPHELPLINK Manufacturer ProductVersion UpgradeCode ALLUSERS; do
    grep -qP "^$p\t." <<<"$props" || fail "property $p missing"
done
version=$(basename "$msi" | sed -n 's/^VX410-Scan-Suite-\(.*\)-x64\.msi$/\1/p')
grep -qP "^ProductVersion\t$version\$" <<<"$props" || fail "ProductVersion is not $version"
features=$(table Feature | cut -f1 | sort | xargs)
[ "$features" = "DeviceSupport JobStore OcrLanguages QuillMail SharedFiles Simulator Suite" ] ||
    fail "features: $features"
# The language data: a feature of its own, in "tessdata" beside the PDF maker.
grep -qP '^OcrLanguages\t\tText recognition languages\t' <<<"$(table Feature)" ||
    fail "no language feature: $(table Feature | grep OcrLanguages)"
lang_files=$(table File | cut -f3 | grep -c '\.traineddata$')
[ "$lang_files" -eq 9 ] || fail "language files: $lang_files, wanted 9"
ocr_dir=$(table Directory | awk -F'\t' '$3 == "tessdata" {print $2}')
[ "$(table Directory | awk -F'\t' -v d="$ocr_dir" '$1 == d {print $3}')" = "Shared Files" ] ||
    fail "tessdata is not a folder of Shared Files"
[ "$failures" -eq 0 ] && echo PASS
[ "$failures" -eq 0 ]
