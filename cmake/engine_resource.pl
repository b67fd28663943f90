#!/usr/bin/perl
# Writes the engine resource: the library's length as 4 little-endian bytes, then the library.
use strict;
use warnings;
my ($library, $resource) = @ARGV;
open(my $in, '<:raw', $library) or die "cannot read $library: $!";
my $image = do { local $/; <$in> };
open(my $out, '>:raw', $resource) or die "cannot write $resource: $!";
print $out pack('V', length $image), $image;
close($out) or die "cannot write $resource: $!";
