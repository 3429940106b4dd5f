! read_unformatted: reads the first complex section of a little-endian unformatted kvax
! file (tag length 2) with plain sequential unformatted I/O, and prints what it read in
! a fixed layout that a script can compare:
!
!   K <k>
!   L <l>
!   GRID <grid type letter>
!   TAG <tag, 2 characters>
!   VERSION <version>
!   CHECKSUM <8 hex digits>
!   CELL <i> <j> <real part bits> <imaginary part bits>    (cells (1,1), (K,1), (1,L), (K,L))
!
! The bits are the 32-bit IEEE patterns in 8 hex digits. The checksum is the sum, modulo
! 2**32, of every value's bit pattern times its position p = 1, 2, 3, ... in the grid's
! column-major order (real part of cell (1,1), its imaginary part, real part of (2,1),
! ...): a file whose values differ anywhere, or sit in other cells, gives another sum.
!
! Build and run:  gfortran -O2 -o read_unformatted read_unformatted.f90
!                 ./read_unformatted m2.u
! gfortran's sequential unformatted records are the ones kvax writes: a 4-byte length,
! the data, the length again, little-endian on a little-endian machine. A big-endian
! file reads the same with convert='big_endian' added to the open statement.
program read_unformatted
  implicit none
  integer, parameter :: tag_length = 2
  integer(4) :: k, l, version
  character(len=1) :: grid
  character(len=4) :: element
  character(len=tag_length) :: tag
  complex(4), allocatable :: cells(:, :)
  character(len=4096) :: path
  integer :: j, ios
  integer(8) :: checksum, position

  if (command_argument_count() < 1) then
    write (0, '(a)') 'usage: read_unformatted FILE'
    stop 2
  end if
  call get_command_argument(1, path)
  open (10, file=trim(path), status='old', access='sequential', form='unformatted', &
        action='read', iostat=ios)
  if (ios /= 0) then
    write (0, '(2a)') 'read_unformatted: cannot open ', trim(path)
    stop 1
  end if

  ! The header record: K, L, the grid letter, the element word, the tag, the version.
  read (10, iostat=ios) k, l, grid, element, tag, version
  if (ios /= 0) then
    write (0, '(a)') 'read_unformatted: no readable header record'
    stop 1
  end if
  if (element /= 'CMPX') then
    write (0, '(3a)') 'read_unformatted: element type ', element, ', not CMPX'
    stop 1
  end if
  if (k < 1 .or. l < 1) then
    write (0, '(a)') 'read_unformatted: a grid of no cells'
    stop 1
  end if

  ! The rows, row L first and row 1 last, one record each.
  allocate (cells(k, l))
  do j = l, 1, -1
    read (10, iostat=ios) cells(:, j)
    if (ios /= 0) then
      write (0, '(a,i0)') 'read_unformatted: cannot read row ', j
      stop 1
    end if
  end do
  close (10)

  checksum = 0
  position = 0
  do j = 1, l
    block
      integer :: i
      do i = 1, k
        position = position + 1
        checksum = modulo(checksum + bits(cells(i, j), 1) * position, 4294967296_8)
        position = position + 1
        checksum = modulo(checksum + bits(cells(i, j), 2) * position, 4294967296_8)
      end do
    end block
  end do

  write (*, '(a,i0)') 'K ', k
  write (*, '(a,i0)') 'L ', l
  write (*, '(2a)') 'GRID ', grid
  write (*, '(2a)') 'TAG ', tag
  write (*, '(a,i0)') 'VERSION ', version
  write (*, '(a,z8.8)') 'CHECKSUM ', checksum
  call show(1, 1)
  call show(k, 1)
  call show(1, l)
  call show(k, l)

contains

  ! The bit pattern of part 1 (real) or 2 (imaginary) of a cell as a number from 0 to
  ! 2**32 - 1, taken from the cell's bytes (no floating-point operation touches them).
  integer(8) function bits(c, part)
    complex(4), intent(in) :: c
    integer, intent(in) :: part
    integer(4) :: words(2)
    words = transfer(c, words)
    bits = iand(int(words(part), 8), 4294967295_8)
  end function bits

  subroutine show(i, j)
    integer, intent(in) :: i, j
    write (*, '(a,i0,1x,i0,2(1x,z8.8))') 'CELL ', i, j, bits(cells(i, j), 1), bits(cells(i, j), 2)
  end subroutine show

end program read_unformatted
