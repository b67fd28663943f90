#!/usr/bin/perl
# Writes a small Orvan installation of a version: the executable with its version stamp and a
# few data files, the same bytes on every run. Version 1.2.0 changes every file a little, adds
# data/quests.dat and drops data/intro.dat.
# usage: make_game.pl DIR VERSION [STAMP [EXTRA]]
#   STAMP: the version text in the executable ("none" for no stamp; default VERSION);
#   EXTRA: how many more data files, each changed by the update (default 0).
use strict;
use warnings;
use File::Path qw(make_path);

my ($dir, $version, $stamp, $extra) = @ARGV;
die "usage: $0 DIR VERSION [STAMP [EXTRA]]\n" unless defined $version;
$stamp //= $version;
$extra //= 0;
my $new = $version ne '1.1.0';

sub bytes {  # deterministic filler of a given length
  my ($seed, $length) = @_;
  my $x = $seed;
  my $out = '';
  while (length($out) < $length) {
    $x = ($x * 1103515245 + 12345) & 0x7fffffff;
    $out .= pack('N', $x);
  }
  return substr($out, 0, $length);
}

sub write_file {
  my ($path, $data) = @_;
  open(my $fh, '>:raw', "$dir/$path") or die "$dir/$path: $!\n";
  print $fh $data;
  close $fh or die "$dir/$path: $!\n";
}

make_path("$dir/data");
my $exe = 'MZ' . bytes(1, 16384 - 2);
if ($stamp ne 'none') {
  substr($exe, 78, 15) = "Windows only.\r\n";
  substr($exe, 94, 16) = pack('a16', $stamp);
}
substr($exe, 9000, 64) = bytes(2, 64) if $new;
write_file('Orvan.exe', $exe);

my @data = ('world.dat', 'creatures.dat', 'sounds.dat', 'music.dat', 'maps.dat', 'spells.dat');
push @data, map { sprintf('level%02d.dat', $_) } 1 .. $extra;
for my $i (0 .. $#data) {
  my $content = bytes(10 + $i, 48 * 1024);
  substr($content, 1000 * ($i + 1), 200) = bytes(100 + $i, 200) if $new;
  write_file("data/$data[$i]", $content);
}
if ($new) {
  write_file('data/quests.dat', bytes(50, 20000));
} else {
  write_file('data/intro.dat', bytes(60, 12000));
}
