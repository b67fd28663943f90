#!/usr/bin/perl
# Writes the Windows program's STRINGTABLE from the string table's texts (strings.inc).
# usage: make_string_table.pl strings.inc strings.rc
use strict;
use warnings;

my ($in, $out) = @ARGV;
die "usage: $0 strings.inc strings.rc\n" unless defined $out;
open(my $fh, '<', $in) or die "$in: $!\n";
my $source = do { local $/; <$fh> };
close $fh;
$source =~ s{^\s*//.*$}{}mg;

my %c_escape = (n => "\n", t => "\t", '"' => '"', "\\" => "\\", "'" => "'");
my @entries;
while ($source =~ /ORVAN_STRING\(\s*(\d+)\s*,((?:\s*"(?:[^"\\]|\\.)*")+)\s*\)/g) {
  my ($id, $literals) = ($1, $2);
  my $text = '';
  while ($literals =~ /"((?:[^"\\]|\\.)*)"/g) {
    my $piece = $1;
    $piece =~ s{\\(.)}{exists $c_escape{$1} ? $c_escape{$1} : die "$in: string $id: unknown escape \\$1\n"}ge;
    $text .= $piece;
  }
  push @entries, [$id, $text];
}
die "$in: no strings found\n" unless @entries;

# The resource compiler's own quoting: "" for a quote, \n and \\ as in C; other bytes as they are.
open(my $rc, '>', "$out.tmp") or die "$out: $!\n";
print $rc "// Made by make_string_table.pl from strings.inc; edit the texts there.\n";
print $rc "STRINGTABLE\nBEGIN\n";
for my $entry (@entries) {
  my ($id, $text) = @$entry;
  die "$in: string $id holds a character the resource can't keep\n" if $text =~ /[\x00-\x09\x0b-\x1f]/;
  $text =~ s/\\/\\\\/g;
  $text =~ s/"/""/g;
  $text =~ s/\n/\\n/g;
  print $rc "  $id, \"$text\"\n";
}
print $rc "END\n";
close $rc or die "$out: $!\n";
rename("$out.tmp", $out) or die "$out: $!\n";
