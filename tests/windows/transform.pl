#!/usr/bin/perl
# Turns a golden case's expected bytes (standard input) into what the Windows
# build writes: CR LF line ends everywhere, and in the console texts the
# separators the tool joins paths with as backslashes. Slashes that belong to
# the case's own names (signal names from the curve lists, values and
# arguments it passes in) are left as written, since Windows keeps them too.
#   GOLDEN_FILE=FILE perl transform.pl CASE
# with FILE stdout, stderr or the expected file's path below expect/.
use strict;
use warnings;

my $case = $ARGV[0];
my $file = $ENV{GOLDEN_FILE} // '';
binmode STDIN;
binmode STDOUT;
local $/;
my $text = <STDIN> // '';

if ($file eq 'stdout' || $file eq 'stderr') {
    my %own;
    my @sources = (glob("$case/args"), glob("$case/in/*.tcc"),
                   split(/\n/, `find "$case/expect" -name wavtrex.curlist 2>/dev/null`));
    for my $source (@sources) {
        open(my $in, '<:raw', $source) or next;
        my $content = <$in>;
        $own{$_} = 1 for grep { m{/} } ($content =~ /"([^"\n]*)"/g), split(/\r?\n/, $content);
    }
    # The runner put the launcher and the Linux path where the program's name
    # goes; Windows reports the program by its Wine drive path.
    $text =~ s{\bwine (/\S+)}{Z:$1}g;
    my @keep;
    for my $name (sort { length($b) <=> length($a) } keys %own) {
        $text =~ s/\Q$name\E/push(@keep, $name); "\0" . $#keep . "\0"/ge;
    }
    $text =~ tr{/}{\\};
    $text =~ s/\0(\d+)\0/$keep[$1]/g;
}
$text =~ s/\n/\r\n/g;
print $text;
