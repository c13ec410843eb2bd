#!/usr/bin/perl
# Turns Unihan's readings into the guide's pinyin table, a C++ source:
#   pinyintable.pl Unihan_Readings.txt[.bz2] out.cpp
# Every CJK unified ideograph of the BMP gets its readings without tones (ü
# as v, as pinyin keyboards type it): kMandarin first, then the further ones
# of kHanyuPinlu and kXHC1983, each once. Only core Perl modules, so a bare
# Debian builds it.
use strict;
use warnings;
use utf8;
use IO::Uncompress::Bunzip2 qw($Bunzip2Error);
use Unicode::Normalize qw(NFD);

my ($input, $output) = @ARGV;
die "usage: $0 Unihan_Readings.txt[.bz2] out.cpp\n" unless $input && $output;

my $fh;
if ($input =~ /\.bz2$/) {
    $fh = IO::Uncompress::Bunzip2->new($input) or die "$input: $Bunzip2Error\n";
} else {
    open($fh, '<', $input) or die "$input: $!\n";
}
binmode($fh, ':encoding(UTF-8)') if $input !~ /\.bz2$/;

# The two BMP blocks of unified ideographs: Extension A and the main block.
my ($first, $last) = (0x3400, 0x9FFF);
my %order = (kMandarin => 0, kHanyuPinlu => 1, kXHC1983 => 2);
my %found;    # code point -> [[field order, syllable], ...]

sub toneless {
    my ($reading) = @_;
    my $s = NFD($reading);
    $s =~ s/u\x{308}/v/g;
    $s =~ s/\p{Mn}//g;
    return lc $s;
}

while (my $line = <$fh>) {
    utf8::decode($line) if $input =~ /\.bz2$/;
    next unless $line =~ /^U\+([0-9A-F]{4,5})\t(kMandarin|kHanyuPinlu|kXHC1983)\t(.*?)\s*$/;
    my ($code, $field, $value) = (hex $1, $2, $3);
    next if $code < $first || $code > $last;
    for my $item (split / /, $value) {
        # kHanyuPinlu: "zhòng(1823)"; kXHC1983: "0149.100:chóng" (several places "a,b:").
        $item =~ s/\(\d+\)$//;
        $item =~ s/^.*://;
        my $syllable = toneless($item);
        next unless $syllable =~ /^[a-z]+$/;
        push @{$found{$code}}, [$order{$field}, $syllable];
    }
}
close($fh);
die "$input: no readings found\n" unless %found;

my (%syllableId, @syllables);
my @readingStart;
my @readings;
for my $code ($first .. $last) {
    push @readingStart, scalar @readings;
    my %seen;
    my @list = sort { $a->[0] <=> $b->[0] } @{$found{$code} // []};
    for my $r (@list) {
        my $s = $r->[1];
        next if $seen{$s}++;
        unless (exists $syllableId{$s}) {
            $syllableId{$s} = scalar @syllables;
            push @syllables, $s;
        }
        push @readings, $syllableId{$s};
    }
}
push @readingStart, scalar @readings;
die "too many readings for 16-bit offsets\n" if @readings > 0xFFFF;

my @syllableStart;
my $text = '';
for my $s (@syllables) {
    push @syllableStart, length $text;
    $text .= $s;
}
push @syllableStart, length $text;

sub numbers {
    my @n = @_;
    my $out = '';
    for (my $i = 0; $i < @n; $i += 16) {
        my $end = $i + 15 < $#n ? $i + 15 : $#n;
        $out .= '    ' . join(',', @n[$i .. $end]) . ",\n";
    }
    return $out;
}

open(my $out, '>', $output) or die "$output: $!\n";
printf $out "// Made by pinyintable.pl from %s at build time.\n", $input =~ s{.*/}{}r;
print $out "#include \"guide/pinyintable.h\"\n\nnamespace PinyinTable {\n\n";
printf $out "const char32_t FirstCode = 0x%X;\nconst char32_t LastCode = 0x%X;\n\n", $first, $last;
printf $out "const char SyllableText[] = \"%s\";\n\n", $text;
printf $out "const quint16 SyllableStart[%d] = {\n%s};\n\n", scalar @syllableStart,
    numbers(@syllableStart);
printf $out "const quint16 ReadingStart[%d] = {\n%s};\n\n", scalar @readingStart,
    numbers(@readingStart);
printf $out "const quint16 Readings[%d] = {\n%s};\n\n", scalar @readings, numbers(@readings);
print $out "} // namespace PinyinTable\n";
close($out) or die "$output: $!\n";
