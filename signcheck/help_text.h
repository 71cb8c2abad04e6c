// The console tool's --help text.
#pragma once

inline constexpr wchar_t kHelpText[] =
    LR"(VaroSignCheck: what the Varo launchers decide about signed files, and what
their verification cache holds. It uses the launchers' own publisher policy
and their cache file (SignCache.dat in the VaroPic folder of the roaming
application-data folder).

Usage:
  VaroSignCheck check [--launcher PATH] [--expect SIGNER] [--fresh|--cached] [-r]
                      [--revocation] [--all] [--json] FILE|FOLDER...
      For each file (a folder stands for its .dll and .exe files): the
      signature verdict, the signer, the decision (trusted or refused), the
      rule that decided it and whether the verdict came from the cache; then
      why: the trust provider's result with its name and text, whether the
      signature is embedded or in a catalog, the signing time of a
      timestamp, the file's SHA-256, size and version, and the signing chain
      (subject, issuer, serial, SHA-1 and SHA-256 thumbprints, validity).
      The rule is one of: allowed publisher (with its row in the list of
      allowed publishers), expected signer (--expect), own publisher of the
      launcher, unsigned launcher, refused. Only a launcher that is not
      signed at all (a development build) accepts every file; a launcher
      whose own signature fails accepts no file by the own-publisher rule.
      --launcher PATH  the launcher whose publisher counts as the product's
                       own; without it, VaroPicViewer.exe in the install path
                       recorded in the registry; without either the
                       own-publisher rule is off, and the tool says so.
      --expect SIGNER  only this publisher counts, as when a module asks
                       CheckSigner about a publisher it names.
      --fresh          check every file afresh: the cache file is neither
                       read nor written.
      --cached         the cache's verdict alone, not checked again.
      -r, --recursive  a folder stands for the files of its subfolders too
                       (a subfolder that is a link is not entered).
      --all            every signature embedded in the file, nested ones
                       too, with its digest, signer and timestamp; the
                       launchers check the first one only.
      --revocation     the trust result also says whether a certificate of
                       the chain is revoked, asked online where needed; the
                       launchers never ask, so the decision stays theirs.
      Otherwise verdicts come from and go into the launchers' cache file, as
      a launcher would use it, and a cached verdict is checked again: one
      that the fresh check contradicts is shown as stale.
      A missing file is reported and the others are still checked. A
      closing tally counts the files checked, trusted, refused and missing.
      Exit status: 0 every file trusted, 1 a file refused or missing, a
      stale cached verdict (or the --launcher file missing), 2 usage error.

  VaroSignCheck diagnose [--product pic|pdf] [--launcher PATH] [--fresh] [--json]
      Replays a launch of the product's launcher without loading, changing
      or showing anything, and says what it would decide: any pending
      hand-over of temp.ini and whether it would happen; config.ini's
      version; the application folder and where it came from; each run-time
      library beside the launcher (absent, would be loaded, or refused, with
      verdict and rule); each companion library and the application module
      with verdict, rule and whether the verdict came from the cache; the
      libraries the module imports and where each would come from; the
      outcome, "would start" or "would refuse FILE: reason" (or module,
      dependency or application folder missing); and the last lines of
      launcher.log, the launchers' trace of launches that did not start.
      --product pic|pdf  the picture viewer (VaroImageApp.dll) or the PDF
                         reader (VaroPdfApp.dll); without it, the product of
                         a --launcher named VaroPicViewer.exe or
                         VaroPdfReader.exe, else the picture viewer.
      --launcher PATH    the launcher whose folder and publisher count;
                         without it, the product's launcher in the install
                         path recorded in the registry; without either, a
                         launcher outside any product folder: no run-time
                         libraries, no folder of its own to fall back on, and
                         no own-publisher rule.
      --fresh            every file checked afresh, as if there were no
                         cache file: shows what a cached verdict may hide.
      The launchers' cache file is read as a launch reads it, through a
      private copy: nothing is written to it. The PDF reader's check of the
      Windows version is not replayed, and a load that the system itself
      would then fail cannot be foreseen.
      Exit status: 0 it would start, 1 it would not (or the --launcher file
      is missing), 2 usage error.

  VaroSignCheck cache show [--json] [CACHEFILE]
      Every record of the cache file (default: the launchers' one): path,
      signer, verdict, size, last-write and creation times (ISO 8601, UTC),
      digest, and its state now: fresh (size and times still match the
      file), changed, or missing.
      Exit status as for cache check.

  VaroSignCheck cache check [CACHEFILE]
      Exit status: 0 the file is readable, 1 it is corrupt or cannot be used
      (the reason is printed), 3 it is absent.

  VaroSignCheck cache forget PATH
      Removes the records of PATH from the launchers' cache file.
  VaroSignCheck cache clear
      Deletes the launchers' cache file.
      Both take the cache lock the launchers take; when another process
      holds it for more than three seconds nothing is changed. Exit status:
      0 done (or nothing to do), 1 not done.

  VaroSignCheck --help
      This text.

Output: on a console, text is written as Unicode; redirected, as UTF-8.
--json prints one JSON document on standard output.
)";
