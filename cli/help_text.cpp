#include "help_text.hpp"

namespace maxhost {
namespace {

const char kOverview[] = R"(usage: maxhost [OPTIONS] COMMAND ARGS...

Runs Max plug-ins (tessel~, brindle~, ...) in a headless host.

Commands:
  run [--bits 16|24|float] [--record-all DIR] [--max-errors N] SCRIPT
                  run a patch script, one event per line ("-" reads standard
                  input, running each line as it arrives)
  markers [--peak] [--json] [--verbose] FILE...
                  read the markers of sound files through brindle~ and show
                  each file's type, rate and markers (see MARKERS below)
  help [TOPIC]    the part of this text on one command (run, markers), or
                  the reference of an object (tessel~, brindle~)

Options (anywhere before "--"; a command's own options likewise):
  --plugins DIR   look for plug-ins (CLASS.so) in DIR; may be repeated.  The
                  folders are searched in the order given, then the
                  plug-ins that came with maxhost.
  --path DIR      add DIR to the host's file search path; may be repeated.
  --quiet         leave out the objects' load banners
  --version       show maxhost's version
  --help          show this text
  --              ends the options: every word after it is a command's
                  argument, even one that starts with "-"
)";

const char kRun[] = R"(RUN
  maxhost run [--bits 16|24|float] [--record-all DIR] [--max-errors N] SCRIPT

  --bits N          samples of written and recorded files: 16 or 24-bit
                    integers, or 32-bit floats (float, the default)
  --record-all DIR  record every box with signal outlets, from its
                    creation, to DIR/NAME.wav, as "record NAME FILE" does
                    (a name made again records to NAME-2.wav, NAME-3.wav...,
                    the first the run has not used, and a line says so)
  --max-errors N    stop the run after N failed lines (20 by default);
                    0: never stop

Exit status of run: 0 when every script line ran, 1 when one or more failed (the
run goes on after a failed line, and stops after 20, or --max-errors N), 2 for
bad usage or a script that cannot be read or is not text.
A line fails when the script is wrong or a box could not be created; an
object that prints an error does not fail the line.

A script file is read whole before it runs: one that is not text (a NUL
byte, or mostly other bytes than text) is refused before anything runs.  A
UTF-8 byte-order mark at its start is skipped.

SCRIPT "-" reads standard input and runs each line as soon as it has
arrived, its output flushed before the next line is read, so a program can
drive maxhost through a pipe: write a line, read the replies, write the
next.  Every box then keeps what its signal outlets played, for write, so
memory grows with a long run: use record for long runs through a pipe.  A
line holding a NUL byte stops the run, after the lines before it, with
status 2.

SCRIPT SYNTAX
  Atoms are separated by blanks and tabs.  A line whose first non-blank
  character is # is a comment; a # later in a line is an ordinary word, so
  comments cannot follow commands on their line.  A word is
    an int    when it is [+-]?[0-9]+ and fits 32 bits:   440  -3  +7
    a float   when it is a decimal number with a point
              or an exponent:                             440.  .5  -1e3
    a symbol  otherwise:                                  foo  1.2.3  inf
  A float beyond the float range reads as inf, -inf or 0.
  "..." is always a symbol, with the escapes \" \\ \n and \xHH; "7" is the
  symbol 7, not the int.  A word cannot contain a quote.  An unquoted ","
  separates the messages of one send, as in a Max message box.  Outlet
  messages write symbols the same way; one holding a control character
  (U+0080 to U+009F too) or invalid UTF-8 is quoted, each such byte \xHH.

COMMANDS IN A SCRIPT
  new NAME CLASS ARGS...   create box NAME as typing "CLASS ARGS" into Max.
                           A refused box is reported and the line fails.
  send NAME MSG [, MSG]... deliver the messages to the left inlet as one
                           event; deferred work runs after the last one.
                           A message starting with a number is a list (or
                           int/float alone); otherwise its first word is
                           the selector.
  signal NAME INLET VALUE|FILE|none
                           feed signal inlet INLET (0 = left) a constant,
                           the first channel of a sound file (zeros after
                           its end; the file's samples are used as they
                           are, without resampling), or nothing.  A fed
                           inlet counts as connected.  To use a file named
                           "none", write ./none.
  dsp SR VS                switch audio on: sample rate SR, vector size VS
  dsp off                  switch audio off
  run SECONDS              run the smallest whole number of vectors that
                           covers SECONDS x SR samples (taken exactly from
                           the decimal digits written: run 0.1 at 48000/64
                           is 75 vectors).  Progress is shown on standard
                           error when it is a terminal.
  ticks N                  run exactly N vectors
  write NAME FILE          write everything NAME's signal outlets played
                           since it was created to FILE at the current
                           sample rate, channel j from outlet j (0 = left).
                           Each write writes it all again.  Only boxes a
                           write names are kept in memory (from standard
                           input, every box is).
  record NAME FILE         stream NAME's signal outlets to FILE from the
                           next vector on, as the run goes: memory does
                           not grow with the length.  The file is finished
                           by stop NAME, free NAME or the end of the run.
  stop NAME                finish the recording of NAME
  disable NAME 0|1         enable (0) or disable (1) a signal box
  free NAME                delete the box
  path DIR                 add DIR to the host's file search path
  dialog FILE              the next file dialog chooses FILE
  dialog cancel            the next file dialog is cancelled (for a file
                           named "cancel", write ./cancel)

  Relative FILE and DIR names are taken from the current directory, as for
  any command-line tool, not from the script's folder.  The script's folder
  is on the host's search path, so objects that look files up by name (such
  as brindle~ open NAME) find files beside the script.

SOUND FILES
  write and record choose the container by FILE's extension: .wav (WAVE
  with the extensible format header, which becomes RF64 past 4 GiB), .aif
  or .aiff (AIFF; AIFC for floats), .flac (16 or 24 bits), .w64 (Sony
  Wave64).  Samples are 32-bit floats unless --bits says 16 or 24.

  Limits: AIFF's sizes are 32 bits, so an .aif or .aiff file holds at most
  a FORM size of 0xFFFFFFFF bytes (4 GiB): a recording or write stops at
  the last whole frame within it, the file is finished there, and the line
  fails.  .wav (RF64 past 4 GiB) and .w64 hold more, and so does .flac
  with --bits 16|24 (FLAC holds no floats).  A limit of the system (a full
  disk, ulimit -f) is a write that fails, reported likewise.

  record makes FILE (or empties it) at once, so a file that cannot be made
  fails the record line.  A write that fails during run or ticks fails
  that line; a file that cannot be finished fails the line that finishes
  it (stop, free), or, at the end of the script, makes the exit status 1.
  Each counts toward the stop after failed lines.  One run writes no file
  twice: a record, write or --record-all file that names a file being
  recorded, or recorded earlier in the run, is refused (the same file by
  device and inode, or by path while it does not exist), and so is a write
  to a file another box wrote.

  The header of a .wav, .w64 or AIFF file is brought up to date about once
  a second of sound, so a maxhost that is killed leaves a file that reads
  up to there; a .flac file's header is written only when it is finished.
  SIGINT (Ctrl-C), SIGTERM and SIGHUP stop the run at the next vector:
  every file being recorded or written is finished as stop does, and
  maxhost then ends by that signal, so a shell loop over it stops too.  A
  second signal while the files are finished ends it at once.

OUTPUT
  Every outlet message goes to standard output as
      NAME OUTLET: SELECTOR ATOMS...
  with OUTLET counted from 0 at the left.  Ints are decimal; floats are the
  shortest text that reads back as the same float, with a "." added when it
  would read as an int (1000., -0., 1e+20, nan, inf, -inf); symbols are
  bare when that reads back the same, else quoted as above.

  Console lines go to standard error: posts as they are, errors after
  "error: ", alerts after "alert: ", host lines ("host: ...") as they are.
  Script errors name the line: maxhost: script.txt:12: unknown box "foo".
  Both streams are flushed line by line, so 2>&1 keeps their order.
)";

const char kMarkers[] = R"(MARKERS
  maxhost markers [--peak] [--json] [--verbose] FILE...

  Each FILE is read twice by a new brindle~ box, made without a file name
  so that an open sends the markers at once: the events "mode 0, open FILE"
  and "mode 1, open FILE", each ending with the deferred open.  --peak
  sends "peak 1" first, so AIFF and AIFC names lose one trailing blank.
  FILE goes to open as written: a name with a slash names that file (a
  relative one from the current directory), a bare name is looked for
  along the host's search path (--path folders, then the current
  directory).  brindle~ takes names of at most 255 bytes.  A file whose
  name starts with "-" is written ./-NAME.

  For each file:
    type         AIFF, AIFC, WAVE or Sd2f, decided as the host decides when
                 brindle~ looks the file up: by the file's header, else by
                 the Finder type of an AppleDouble sidecar, else by the
                 extension (.aif .aiff .aifc .wav .sd2)
    sample rate  as the file states it, read from the file by brindle~'s
                 own readers rather than worked back from the times, so it
                 is exact: AIFF and AIFC the COMM chunk (what sndfile_info
                 gives brindle~), WAVE the fmt chunk (the last one before
                 brindle~'s walk ends, if several), Sound Designer II the
                 text of resource STR  1001 with its fraction cut off.
                 Unknown when the file states none (a WAVE without a fmt
                 chunk: brindle~ then divides by 0, and the times are nan
                 or inf).
    count        the count brindle~ sent on its right outlet: the number
                 the file announces, which may differ from the number of
                 markers listed
    markers      one row per list from the left outlet: the name, the time
                 in milliseconds from the mode 0 read and in sample frames
                 from the mode 1 read

  Text output: "FILE: TYPE, RATE Hz, count N" and a table; names are
  written as symbols are in scripts, milliseconds as floats are in outlet
  messages.  Console errors go to standard error as "FILE: error: TEXT",
  maxhost's own as "maxhost: FILE: TEXT"; posts (brindle~'s banner) are
  not shown.  When the mode 1 read prints the same console lines as the
  mode 0 read, they are shown once.  No byte from a file reaches the
  terminal as a control: in names, log and error lines alike, each byte
  of a control character (below 0x20, 0x7F, U+0080 to U+009F) or of
  invalid UTF-8 is written \xHH, a name holding one in quotes.

  --json: standard output is one JSON array, one object per file, each on
  a line of its own, and nothing goes to standard error:
    {"file": STRING, "type": STRING|null, "sampleRate": INT|null,
     "count": INT|null, "markers": [{"name": STRING, "ms": NUMBER|null,
     "frames": INT}, ...], "errors": [STRING, ...]}
  null means unknown, not sent, or (for ms) not finite.  errors holds the
  console lines as run prints them ("error: ...", "alert: ...",
  "host: ..."), then maxhost's own ("maxhost: not found").  Names are bytes
  from the file: in JSON strings ", \ and control characters (U+0080 to
  U+009F too) are escaped, other valid UTF-8 passes through, and any other
  byte is written \u00XX, the byte taken as a Latin-1 character, so no
  byte is lost.

  --verbose: the file is also walked by brindle~'s own readers with their
  log on, and each line says where (byte offset, chunk, marker number) and
  why a walk stopped early or passed something over: a count that promises
  more markers than the data hold, a name that runs past its chunk, a
  chunk cut short by the end of the file, a LIST of another type than
  adtl.  The lines go to standard error as "FILE: log: TEXT", before the
  file's errors; with --json each object gets one more member, "log":
  [STRING, ...].  They do not change the exit status.  brindle~ itself
  never prints them.

  Exit status of markers: 0 when every file was read and no console error,
  alert or host line was printed; 1 when a file was not found, was none of
  the four types, or printed one; 2 for bad usage.
)";

// Each object's reference, made from docs/reference/OBJECT.json.
struct ObjectHelp {
    std::string_view name;
    const char *text;
};
const ObjectHelp kObjects[] = {
#include "object_help.inc"
};

}  // namespace

std::string help_all() {
    std::string all = std::string(kOverview) + "\n" + kRun + "\n" + kMarkers;
    for (const ObjectHelp &o : kObjects) all += std::string("\n") + o.text;
    return all;
}

std::optional<std::string> help_topic(std::string_view topic) {
    if (topic == "run") return kRun;
    if (topic == "markers") return kMarkers;
    for (const ObjectHelp &o : kObjects)
        if (topic == o.name || (o.name.ends_with('~') && topic == o.name.substr(0, o.name.size() - 1)))
            return o.text;
    if (topic == "help") return kOverview;
    return std::nullopt;
}

std::string_view help_topic_names() { return "run, markers, tessel~, brindle~"; }

}  // namespace maxhost
