#!/usr/bin/env bash
# Moves the library's source folders under qvd3/, so that every include
# names the file's real path from the top of the tree:
#   "qvd3/platform/db/session.h" is the file qvd3/platform/db/session.h
# and the build no longer needs a folder of links (build/include/qvd3/...)
# to join the include path and the file.
#
# usage: tools/dev/move-library-under-qvd3.sh [--commit]
#
# It is one mechanical change, made on a clean tree:
# - git mv of the library folders (the list QV_LIBRARY_FOLDERS of
#   cmake/QvHeaders.cmake: platform, data, component, dialogs, admin,
#   design) to qvd3/FOLDER, whole folders, so files added since this script
#   was written move too and history follows them;
# - includes of a library header by its bare folder ("platform/db/x.h") are
#   given their real path ("qvd3/platform/db/x.h");
# - CMake: qvplatform and qvplatform_qt are built by qvd3/platform/, qvd3 by
#   qvd3/; the include path is the top of the source tree; the link farm is
#   gone; the headers are still installed as <prefix>/include/qvd3/...;
#   the install-time include rewrite (tools/dev/namespace-includes.sh) is
#   removed, the sources already include every header by its real path;
# - comments, the README and docs/ that name a moved file or folder by its
#   old path name it by its new one (only paths that exist after the move).
# Then it checks the result and fails loudly where an old path remains.
#
# Without --commit the change is left staged and the suggested `git commit`
# is printed; with --commit it is committed. It refuses to run on a tree with
# uncommitted or untracked files, or when qvd3/platform exists already. If a
# check fails the tree is left as it is for inspection; undo it with
#   git reset -q --hard HEAD && git clean -fdq -- qvd3
set -euo pipefail

commit=no
case "${1:-}" in
  "") ;;
  --commit) commit=yes ;;
  *) echo "usage: $0 [--commit]" >&2; exit 2 ;;
esac

top=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
cd "$top"
self=tools/dev/$(basename "$0")

say() { printf '[move] %s\n' "$*"; }
die() { printf '[move] error: %s\n' "$@" >&2; exit 1; }

# --- preconditions -----------------------------------------------------------

[ -z "$(git status --porcelain)" ] ||
  die "the tree has uncommitted or untracked files; commit or remove them first" \
    "$(git status --short | head -n 20)"
[ ! -e qvd3/platform ] || die "qvd3/platform exists already: the move has been made"
[ -f qvd3/CMakeLists.txt ] || die "qvd3/CMakeLists.txt is missing: is this the qvd3 tree?"

folders=$(sed -n 's/^set(QV_LIBRARY_FOLDERS \(.*\))$/\1/p' cmake/QvHeaders.cmake)
[ -n "$folders" ] || die "no set(QV_LIBRARY_FOLDERS ...) line in cmake/QvHeaders.cmake"
for needed in platform data component dialogs admin design; do
  [[ " $folders " == *" $needed "* ]] || die "QV_LIBRARY_FOLDERS no longer names $needed: update this script"
done
for folder in $folders; do
  [ -d "$folder" ] || die "library folder $folder is missing at the top of the tree"
  [ ! -e "qvd3/$folder" ] || die "qvd3/$folder exists already"
done
# Every folder whose sources the qvd3 library collects must be moved with it.
for used in $(grep -o '\${QV_TOP}/[A-Za-z_]*' qvd3/CMakeLists.txt | sed 's@.*/@@' | sort -u); do
  [[ " $folders " == *" $used "* ]] ||
    die "qvd3/CMakeLists.txt collects $used/, which is not in QV_LIBRARY_FOLDERS: add it there first"
done
alt=$(echo $folders | tr ' ' '|')
export QV_FOLDERS_ALT="$alt"

# Files whose text may name paths: sources, build files, scripts, docs.
text_files() {
  git ls-files -z | tr '\0' '\n' | grep -vxF "$self" | grep -v '^fuzz/corpus/' |
    grep -E '(\.(h|cpp|md|cmake|in|sh|supp)|CMakeLists\.txt|^run|^\.ci/run)$' || true
}

# --- the move ------------------------------------------------------------------

for folder in $folders; do
  say "git mv $folder qvd3/$folder"
  git mv "$folder" "qvd3/$folder"
done

# A stale link farm in an existing build folder would point at folders that
# no longer exist; it is build output, never tracked.
for link_dir in build/include/qvd3 build-*/include/qvd3; do
  [ -d "$link_dir" ] || continue
  for folder in $folders; do
    if [ -L "$link_dir/$folder" ]; then rm -f "$link_dir/$folder"; fi
  done
  rmdir "$link_dir" "$(dirname "$link_dir")" 2>/dev/null || true
done

# --- CMake ------------------------------------------------------------------------

# Replaces, in FILE, what the Perl pattern PATTERN matches (the whole file is
# one string; flags m and s are on) by REPLACEMENT; fails when nothing matches,
# so a build file changed since this script was written stops it loudly.
replace() {
  local file=$1
  PATTERN=$2 REPLACEMENT=$3 perl -0777 -i -pe '
    my $n = s{$ENV{PATTERN}}{$ENV{REPLACEMENT}}msg;
    $n or die "no match\n";
  ' "$file" || die "$file: cannot find /$2/ (changed since this script was written?)"
}

say "rewriting the CMake files"
# qvplatform and qvplatform_qt: built by qvd3/platform/CMakeLists.txt.
replace CMakeLists.txt '^add_subdirectory\(platform\)$' 'add_subdirectory(qvd3/platform)'

# qvd3: its folders are now beside its CMakeLists.txt.
replace qvd3/CMakeLists.txt '^set\(QV_TOP \$\{PROJECT_SOURCE_DIR\}\)\n' ''
replace qvd3/CMakeLists.txt '\$\{QV_TOP\}/' '${CMAKE_CURRENT_SOURCE_DIR}/'

# The include path: the top of the source tree; no link farm.
replace cmake/QvHeaders.cmake \
  '\A# Where the library.s headers are found\..*?\n(?=set\(QV_LIBRARY_FOLDERS )' \
  '# Where the library'"'"'s headers are found.
#
# The library'"'"'s sources live under qvd3/, so every include names the file'"'"'s
# real path from the top of the source tree: "qvd3/platform/db/session.h" is
# the file qvd3/platform/db/session.h. The top of the tree is the include
# path of the build (a project that adds qvd3 with add_subdirectory gets it
# too); installed, the headers are copies under <prefix>/include/qvd3/ with
# the same paths. Either way users include <qvd3/...>, and a library folder
# (platform, data, component...) is never reachable by its bare name.
#
# The folders of qvd3/ whose headers are public.
'
replace cmake/QvHeaders.cmake \
  '^set\(QV_BUILD_INCLUDE_DIR [^\n]*\n\s*file\(MAKE_DIRECTORY [^\n]*\nforeach\(folder [^\n]*\n.*?^endforeach\(\)\n' ''
replace cmake/QvHeaders.cmake '\$<BUILD_INTERFACE:\$\{QV_BUILD_INCLUDE_DIR\}>' '$<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>'
# Targets that added the link farm to their include path have the top of the
# tree already.
while IFS= read -r file; do
  sed -i -E 's/[[:space:]]*\$\{QV_BUILD_INCLUDE_DIR\}//g' "$file"
done < <(git ls-files | grep -E '(CMakeLists\.txt|\.cmake)$' | grep -vxF "$self")

# Install: the headers of qvd3/FOLDER to include/qvd3/FOLDER, as before.
replace cmake/QvPackage.cmake \
  '^# The headers of every library folder, under include/qvd3/ with the same\n.*?the <qvd3/\.\.\.> form whichever form the source tree still uses\.\n' \
  '# The headers of every library folder of qvd3/, under include/qvd3/ with the
# same relative path, so a header'"'"'s installed path is its path in the
# source tree; the Qt backend'"'"'s only when it is built.
'
replace cmake/QvPackage.cmake 'IS_DIRECTORY \$\{PROJECT_SOURCE_DIR\}/\$\{folder\}' 'IS_DIRECTORY ${PROJECT_SOURCE_DIR}/qvd3/${folder}'
replace cmake/QvPackage.cmake 'install\(DIRECTORY \$\{folder\} ' 'install(DIRECTORY qvd3/${folder} '
replace cmake/QvPackage.cmake '^install\(CODE "execute_process\(COMMAND sh [^\n]*namespace-includes\.sh.*?COMPONENT devel\)\n' ''
# Its work is done: every include already names the real path.
if [ -e tools/dev/namespace-includes.sh ]; then
  git rm -q tools/dev/namespace-includes.sh
fi

# --- includes and comments that name the old paths ------------------------------

say "rewriting includes and comments that name the old paths"
text_files | perl -e '
  use strict; use warnings;
  my $alt = $ENV{QV_FOLDERS_ALT};
  # A path token that starts with a library folder and is not the tail of a
  # longer path (tests/platform/..., build/platform, qvd3/platform...).
  my $token = qr{(?<![\w/.\-~\$\@])((?:$alt)/[\w./\-]*)};
  sub moved {
    my ($text) = @_;
    $text =~ s{$token}{
      my $t = $1; (my $p = $t) =~ s{[./\-]+$}{};
      (-e "qvd3/$p") ? "qvd3/$t" : $t
    }ge;
    return $text;
  }
  while (my $file = <STDIN>) {
    chomp $file;
    open(my $in, "<", $file) or die "$file: $!";
    my @lines = <$in>;
    close $in;
    (my $dir = $file) =~ s{/?[^/]*$}{};
    $dir = "." if $dir eq "";
    my $cxx = $file =~ /\.(h|cpp)$/;
    my $md = $file =~ /\.md$/;
    my $changed = 0;
    for my $line (@lines) {
      my $old = $line;
      if ($md) {
        $line = moved($line);
      } elsif ($cxx) {
        # An include of a library header by its bare folder, unless it names
        # a file beside the including one.
        if ($line =~ m{^(\s*#\s*include\s*["<])((?:$alt)/[^">]+)([">].*)$}s) {
          my ($head, $path, $tail) = ($1, $2, $3);
          $line = "${head}qvd3/$path$tail" if !-e "$dir/$path" && -e "qvd3/$path";
        }
        if ($line =~ m{^(\s*(?:/\*|\*(?!/)))(.*)$}s) {
          $line = $1 . moved($2);
        } elsif ($line =~ m{^(.*?)(//.*)$}s) {
          $line = $1 . moved($2);
        }
      } elsif ($line =~ /^\s*#/) {
        $line = moved($line);
      }
      $changed = 1 if $line ne $old;
    }
    if ($changed) {
      open(my $out, ">", $file) or die "$file: $!";
      print $out @lines;
      close $out;
      print "[move]   $file\n";
    }
  }
'

git add -A

# --- checks -------------------------------------------------------------------------

say "checking the result"
problems=0
problem() { printf '[move] left over: %s\n' "$*" >&2; problems=$((problems + 1)); }

for folder in $folders; do
  [ ! -e "$folder" ] || problem "$folder/ still exists at the top"
  [ -d "qvd3/$folder" ] || problem "qvd3/$folder is missing"
done

# The link farm and the include rewrite are gone from the build.
while IFS= read -r hit; do problem "$hit"; done < <(
  git grep -nE 'QV_BUILD_INCLUDE_DIR|CREATE_LINK|namespace-includes|QV_TOP\}' -- ':!'"$self" || true)

# Build files, scripts and CI name no library folder at the top of the tree.
while IFS= read -r hit; do problem "$hit"; done < <(
  git grep -nE "(add_subdirectory\(|install\(DIRECTORY |(PROJECT|CMAKE)_SOURCE_DIR\}/|\\\$top/|\"\\\$top\"/)($alt)([/) ]|$)" \
    -- '*CMakeLists.txt' '*.cmake' run '.ci/*' '*.sh' ':!'"$self" || true)

# Any path that starts with a library folder and names something that now
# lives under qvd3/. Allowed: the test folders of tests/CMakeLists.txt
# (relative to tests/) and the package test's checks that those bare names
# are unreachable.
while IFS= read -r hit; do problem "$hit"; done < <(
  text_files | perl -ne '
    BEGIN { $alt = $ENV{QV_FOLDERS_ALT} }
    chomp; my $file = $_;
    open(my $in, "<", $file) or die "$file: $!";
    while (my $line = <$in>) {
      next if $line =~ /qv_test_folder\(|__has_include\(|REGEX "/;
      while ($line =~ m{(?<![\w/.\-~\$\@])((?:$alt)/[\w./\-]*)}g) {
        (my $p = $1) =~ s{[./\-]+$}{};
        print "$file:$.: $1\n" if -e "qvd3/$p";
      }
    }
  ')

# Every quoted include of a .h or .cpp resolves: beside the including file,
# from the top of the tree, or is made by the build (the ui_*.h of Qt forms).
while IFS= read -r hit; do problem "$hit"; done < <(
  git ls-files '*.h' '*.cpp' | perl -ne '
    chomp; my $file = $_;
    (my $dir = $file) =~ s{/?[^/]*$}{}; $dir = "." if $dir eq "";
    open(my $in, "<", $file) or die "$file: $!";
    while (my $line = <$in>) {
      next unless $line =~ m{^\s*#\s*include\s*"([^"]+)"};
      my $inc = $1;
      next if $inc =~ m{^ui_[^/]*\.h$} || -e "$dir/$inc" || -e $inc;
      print "$file:$.: include \"$inc\" names no file\n";
    }
  ')
while IFS= read -r hit; do problem "$hit"; done < <(
  git grep -nE '^\s*#\s*include\s*<qvd3/' -- '*.h' '*.cpp' |
    sed -E 's@^([^:]*:[0-9]+:).*<(qvd3/[^>]+)>.*@\1 \2@' |
    while read -r where path; do [ -e "$path" ] || echo "$where include <$path> names no file"; done)

if [ "$problems" -gt 0 ]; then
  die "$problems place(s) above name an old path or a file that does not exist; the tree is left as it is." \
    "Undo with: git reset -q --hard HEAD && git clean -fdq -- qvd3"
fi

# --- commit ----------------------------------------------------------------------------

message_file=$(mktemp)
trap 'rm -f "$message_file"' EXIT
cat >"$message_file" <<'EOF'
Move the library's sources under qvd3/: every include names the file's real path

Headers were included as qvd3/platform/db/query.h while the file lived at
platform/db/query.h, and the build joined the two with a folder of symbolic
links in the build tree. Nobody could follow an include to its file before a
first build: neither a person reading the tree nor a tool (an editor, tags,
code search).

The folders platform, data, component, dialogs, admin and design now live
under qvd3/, and the include path is the top of the source tree, so
"qvd3/platform/db/query.h" is the file of that name. The link farm is gone.
qvplatform and qvplatform_qt are built by qvd3/platform/CMakeLists.txt,
qvd3 by qvd3/CMakeLists.txt. Installed headers keep their <qvd3/...> paths,
so the package and its users do not change. The install-time rewrite of
bare includes is removed: the sources already include every header by its
real path.

A mechanical change made by tools/dev/move-library-under-qvd3.sh and
nothing else: git mv of whole folders, paths in build files, comments, the
README and docs.
EOF

say "done: $(git diff --cached --name-status | grep -c '^R') files moved, $(git diff --cached --name-status | grep -vc '^R') other changes (staged)"
if [ "$commit" = yes ]; then
  git commit -q -F "$message_file"
  say "committed: $(git log -1 --format='%h %s')"
else
  say "review with: git diff --cached -M --stat; then commit with:"
  printf '\ngit commit -F - <<'"'"'EOF'"'"'\n%s\nEOF\n' "$(cat "$message_file")"
fi
